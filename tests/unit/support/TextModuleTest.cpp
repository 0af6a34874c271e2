// Built-in text catalogue and the text data module.
#include "support/BuiltInTexts.h"
#include "support/dm_LNG.h"

#include <gtest/gtest.h>

#include <QObject>
#include <memory>

using namespace support;

TEST(BuiltinTextTest, EveryIdTheSystemAsksForHasItsText)
{
    struct {
        std::int32_t id;
        const char *text;
    } const cases[] = {
        {2, "File name"},
        {29, "Err"},
        {588, "System error"},
        {17014, "Msg"},
        {17586, "Ok"},
        {21537, "Warning!"},
        {21559, "File not found"},
        {21655, "Directory does not exist"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(BuiltinText(c.id), c.text) << c.id;
}

TEST(BuiltinTextTest, EachTableHoldsOnlyItsOwnRange)
{
    EXPECT_EQ(BuiltinTextA(17586), "Ok");
    EXPECT_EQ(BuiltinTextB(17586), "");
    EXPECT_EQ(BuiltinTextA(21559), "");
    EXPECT_EQ(BuiltinTextB(21559), "File not found");
}

TEST(BuiltinTextTest, IdsWithoutTextFallBackToStringAndId)
{
    EXPECT_EQ(BuiltinText(0), "String 0");
    EXPECT_EQ(BuiltinText(-1), "String -1");
    EXPECT_EQ(BuiltinText(4), "String 4");          // inside table A's range, not held
    EXPECT_EQ(BuiltinText(18010), "String 18010");  // between the two ranges
    EXPECT_EQ(BuiltinText(22611), "String 22611");  // above table B
    EXPECT_EQ(BuiltinText(INT32_MIN), "String -2147483648");
    EXPECT_EQ(BuiltinText(INT32_MAX), "String 2147483647");
}

class TdmLNGTest : public ::testing::Test {
protected:
    void SetUp() override { dmLNG = nullptr; }
    void TearDown() override { dmLNG = nullptr; }
};

TEST_F(TdmLNGTest, BuiltInModeAnswersFromTheCatalogue)
{
    TdmLNG m;
    EXPECT_EQ(m.Mode(), lngBuiltIn);
    EXPECT_EQ(m.GetText(17586), "Ok");
    EXPECT_EQ(m.GetText(30000), "String 30000");
    EXPECT_EQ(m.GetText(0), "");
    EXPECT_EQ(m.GetText(-5), "");
}

TEST_F(TdmLNGTest, NonPositiveIdsAreEmptyInEveryMode)
{
    TdmLNG m;
    for (std::uint8_t mode : {0, 1, 2, 7}) {
        m.SetMode(mode);
        EXPECT_EQ(m.GetText(0), "") << int(mode);
        EXPECT_EQ(m.GetText(-5), "") << int(mode);
    }
}

TEST_F(TdmLNGTest, UnknownModeGivesEmptyTexts)
{
    TdmLNG m;
    m.SetMode(7);
    EXPECT_EQ(m.Mode(), 7);
    EXPECT_EQ(m.GetText(17586), "");
    m.SetMode(lngBuiltIn);
    EXPECT_EQ(m.GetText(17586), "Ok");
}

TEST_F(TdmLNGTest, OpenInBuiltInModeOpensNothing)
{
    TdmLNG m;
    std::string err = "stale";
    EXPECT_FALSE(m.Open("", err));
    EXPECT_EQ(err, "");
    EXPECT_EQ(m.FileName(), "");
}

TEST_F(TdmLNGTest, LoaderAndIniModesAreAcceptedButNotAvailableYet)
{
    TdmLNG m;
    std::string err;
    for (std::uint8_t mode : {lngLoader, lngIniFile}) {
        m.SetMode(mode);
        EXPECT_EQ(m.Mode(), mode);
        err.clear();
        EXPECT_FALSE(m.Open("/tmp/any.lng", err));
        EXPECT_NE(err, "") << int(mode);
        // Nothing is open, so texts still come from the built-in catalogue.
        EXPECT_EQ(m.GetText(21559), "File not found");
        EXPECT_EQ(m.FileName(), "");
    }
}

TEST_F(TdmLNGTest, TextTurnsEveryEscapeIntoALineBreak)
{
    TdmLNG m;
    EXPECT_EQ(m.Text("a\\nb"), "a\r\nb");
    EXPECT_EQ(m.Text("\\n\\n"), "\r\n\r\n");
    EXPECT_EQ(m.Text("x\\ny\\nz"), "x\r\ny\r\nz");
    // Backslash, backslash, n: the second backslash starts the escape.
    EXPECT_EQ(m.Text("\\\\n"), "\\\r\n");
    // Case-sensitive, and lone characters stay.
    EXPECT_EQ(m.Text("a\\Nb"), "a\\Nb");
    EXPECT_EQ(m.Text("\\"), "\\");
    EXPECT_EQ(m.Text("a\\"), "a\\");
    EXPECT_EQ(m.Text("n"), "n");
    EXPECT_EQ(m.Text("no escape here"), "no escape here");
    EXPECT_EQ(m.Text(""), "");
    // A real line feed is not the escape.
    EXPECT_EQ(m.Text("a\nb"), "a\nb");
}

TEST_F(TdmLNGTest, GlobalHelpersWorkWithAndWithoutTheModule)
{
    EXPECT_EQ(LngGetText(17586), "Ok");
    EXPECT_EQ(LngGetText(0), "");
    EXPECT_EQ(LngText("a\\nb"), "a\r\nb");
    TdmLNG m;
    dmLNG = &m;
    m.SetMode(9);
    EXPECT_EQ(LngGetText(17586), ""); // the module answers, not the catalogue
    EXPECT_EQ(LngText("a\\nb"), "a\r\nb");
}

TEST_F(TdmLNGTest, DestroyedModuleClearsTheGlobalPointer)
{
    QObject owner;
    auto *m = new TdmLNG(&owner); // owned by its Qt parent, as the main form owns it
    dmLNG = m;
    EXPECT_EQ(m->parent(), &owner);
    EXPECT_EQ(m->objectName(), "dmLNG");
    delete m;
    EXPECT_EQ(dmLNG, nullptr);

    // A module that is not the global one leaves the pointer alone.
    TdmLNG global;
    dmLNG = &global;
    { TdmLNG other; }
    EXPECT_EQ(dmLNG, &global);
}

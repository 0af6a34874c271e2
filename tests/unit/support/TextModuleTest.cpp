// Built-in text catalogue and the text data module.
#include "support/BuiltInTexts.h"
#include "support/dm_LNG.h"

#include <gtest/gtest.h>

#include <QObject>
#include <memory>

using namespace support;

TEST(BuiltinTextTest, EveryIdTheSystemAsksForHasItsTextAndTheRestAFallBack)
{
    const std::pair<std::int32_t, const char *> cases[] = {
        {2, "File name"}, {29, "Err"}, {588, "System error"}, {17014, "Msg"}, {17586, "Ok"},
        {21537, "Warning!"}, {21559, "File not found"}, {21655, "Directory does not exist"},
        {0, "String 0"}, {-1, "String -1"},
        {4, "String 4"},         // inside table A's range, not held
        {18010, "String 18010"}, // between the two ranges
        {22611, "String 22611"}, // above table B
        {INT32_MIN, "String -2147483648"}, {INT32_MAX, "String 2147483647"},
    };
    for (const auto &[id, text] : cases)
        EXPECT_EQ(BuiltinText(id), text) << id;
    // Each table holds only its own range.
    EXPECT_EQ(BuiltinTextA(17586) + "|" + BuiltinTextB(17586), "Ok|");
    EXPECT_EQ(BuiltinTextA(21559) + "|" + BuiltinTextB(21559), "|File not found");
}

class TdmLNGTest : public ::testing::Test {
protected:
    void SetUp() override { dmLNG = nullptr; }
    void TearDown() override { dmLNG = nullptr; }
};

TEST_F(TdmLNGTest, ModesAndTheirTexts)
{
    TdmLNG m;
    EXPECT_EQ(m.Mode(), lngBuiltIn);
    EXPECT_EQ(m.GetText(17586), "Ok");
    EXPECT_EQ(m.GetText(30000), "String 30000");
    std::string err = "stale";
    EXPECT_FALSE(m.Open("", err)); // built-in: nothing to open
    EXPECT_EQ(err + m.FileName(), "");
    // Non-positive ids are empty in every mode; an unknown mode has no texts.
    for (std::uint8_t mode : {0, 1, 2, 7}) {
        m.SetMode(mode);
        EXPECT_EQ(m.GetText(0) + m.GetText(-5), "") << int(mode);
    }
    EXPECT_EQ(m.Mode(), 7);
    EXPECT_EQ(m.GetText(17586), "");
    m.SetMode(lngBuiltIn);
    EXPECT_EQ(m.GetText(17586), "Ok");
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
    const std::pair<const char *, const char *> cases[] = {
        {"a\\nb", "a\r\nb"}, {"\\n\\n", "\r\n\r\n"}, {"x\\ny\\nz", "x\r\ny\r\nz"},
        {"\\\\n", "\\\r\n"}, // backslash, backslash, n: the second backslash starts the escape
        {"a\\Nb", "a\\Nb"},     // case-sensitive; lone characters stay
        {"\\", "\\"}, {"a\\", "a\\"}, {"n", "n"}, {"", ""},
        {"a\nb", "a\nb"}, // a real line feed is not the escape
    };
    for (const auto &[in, out] : cases)
        EXPECT_EQ(m.Text(in), out) << in;
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
    EXPECT_EQ(m->objectName(), "dmLNG");
    delete m;
    EXPECT_EQ(dmLNG, nullptr);

    // A module that is not the global one leaves the pointer alone.
    TdmLNG global;
    dmLNG = &global;
    { TdmLNG other; }
    EXPECT_EQ(dmLNG, &global);
}

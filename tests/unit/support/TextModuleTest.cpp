// Built-in text catalogue and the text data module.
#include "support/BuiltInTexts.h"
#include "support/QX_VisualTraceCore.h"
#include "support/dm_LNG.h"
#include "TestUtil.h"
#include "platform/core/Exceptions.h"
#include <gtest/gtest.h>
#include <QObject>
#include <sys/stat.h>
#include <unistd.h>

using namespace support;

TEST(BuiltinTextTest, EveryIdTheSystemAsksForHasItsTextAndTheRestAFallBack)
{
    const std::pair<std::int32_t, const char *> cases[] = {
        {2, "File name"}, {0, "String 0"}, {4, "String 4"} /* inside table A's range */,
        {18010, "String 18010"} /* between the ranges */, {22611, "String 22611"} /* above table B */,
        {INT32_MIN, "String -2147483648"}, {INT32_MAX, "String 2147483647"}};
    for (const auto &[id, text] : cases)
        EXPECT_EQ(BuiltinText(id), text) << id;
}

class TdmLNGTest : public ::testing::Test {
protected:
    void SetUp() override { dmLNG = nullptr; }
    void TearDown() override { dmLNG = nullptr; }
};

TEST_F(TdmLNGTest, ModesTheirTextsAndTheGlobalHelpers)
{
    EXPECT_EQ(LngGetText(17586) + LngGetText(0), "Ok"); // no module: the catalogue
    TdmLNG m;
    dmLNG = &m;
    EXPECT_EQ(m.Mode(), lngBuiltIn);
    EXPECT_EQ(m.GetText(17586) + "|" + m.GetText(30000), "Ok|String 30000");
    // Non-positive ids are empty in every mode; an unknown mode has no texts.
    for (std::uint8_t mode : {0, 1, 2, 7}) {
        m.SetMode(mode);
        EXPECT_EQ(m.GetText(0) + m.GetText(-5), "") << int(mode);
    }
    EXPECT_EQ(m.Mode(), 7);
    EXPECT_EQ(m.GetText(17586) + LngGetText(17586), ""); // the module answers, not the catalogue
    m.SetMode(lngBuiltIn);
    EXPECT_EQ(m.GetText(17586), "Ok");
}

TEST_F(TdmLNGTest, LanguageIniGivesItsTwoTextsAndAddsOnlyTheMissingKeys)
{
    testutil::TempDir dir;
    const std::string whole = "[Messages]\r\nFileNotFound=Fehlt\r\n\r\n\r\n[Labels]\r\nFileName=Datei\r\n";
    // File, contents before, texts of ids 2 and 21559, lines the file must hold after.
    const std::tuple<const char *, const char *, const char *, const char *, std::vector<const char *>> cases[] = {
        {"missing.ini", nullptr, "File name", "File not found",
         {"[Labels]", "FileName=File name", "[Messages]", "FileNotFound=File not found"}},
        {"foreign.ini", "; translator: Anna\r\n[Other]\r\nKey=Value\r\n[labels]\r\n; keep me\r\nfilename=Dateiname\r\n",
         "Dateiname", "File not found",
         {"; translator: Anna", "[Other]", "Key=Value", "; keep me", "filename=Dateiname", "FileNotFound=File not found"}},
        {"whole.ini", whole.c_str(), "Datei", "Fehlt", {}}};
    for (const auto &[name, before, label, message, kept] : cases) {
        const std::string path = dir.File(name);
        if (before)
            testutil::WriteFile(path, before);
        TdmLNG m;
        m.SetMode(lngIniFile);
        std::string err = "stale";
        EXPECT_TRUE(m.Open(path, err) && err.empty()) << name;
        EXPECT_EQ(m.GetText(2) + "|" + m.GetText(21559), std::string(label) + "|" + message) << name;
        EXPECT_EQ(m.GetText(3) + "|" + m.GetText(17586), "String 3|Ok"); // every other id: the catalogue
        const std::string after = testutil::ReadFile(path);
        for (const char *line : kept)
            EXPECT_NE(after.find(std::string(line) + "\n"), std::string::npos) << name << ": " << line << " in\n" << after;
        if (kept.empty()) {
            EXPECT_EQ(after, whole); // a file with both keys is not written at all
            m.SetMode(lngBuiltIn);   // the catalogue again, the INI file no longer asked
            EXPECT_EQ(m.GetText(2), "File name");
        }
    }
}

TEST_F(TdmLNGTest, AnUnwritableLanguageIniStillGivesItsTextsAndTracesTheFailure)
{
    testutil::TempDir dir;
    const std::string text = "[Labels]\nFileName=Dateiname\n";
    // A read-only folder, or for root a name leaving no room for the save's temporary file.
    std::string path = dir.File(std::string(250, 'l'));
    if (::geteuid() != 0)
        ::mkdir(dir.File("ro").c_str(), 0755), path = dir.File("ro/de.ini");
    testutil::WriteFile(path, text);
    ::chmod(dir.File("ro").c_str(), 0555);
    TVisualTraceCore trace;
    trace.SetStandardOutputSink([](const std::vector<std::string> &) {});
    trace.SetToStandardOutput(true), trace.SetCurrentLevel(1), trace.SetCharPerLine(1000), trace.Activate();
    GlobalTrace = &trace;
    TdmLNG m;
    m.SetMode(lngIniFile);
    std::string err;
    EXPECT_TRUE(m.Open(path, err));
    GlobalTrace = nullptr;
    EXPECT_EQ(m.GetText(2) + "|" + m.GetText(21559), "Dateiname|File not found");
    EXPECT_EQ(testutil::ReadFile(path), text);
    const auto lines = trace.PendingLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Language INI file not written back: Cannot create file"), std::string::npos) << lines[0];
    ::chmod(dir.File("ro").c_str(), 0755); // so the folder can be removed
    // A file that cannot be read at all is the caller's error; the texts stay the catalogue's.
    EXPECT_THROW(m.Open(dir.Path(), err), platform::EFOpenError);
    EXPECT_EQ(m.GetText(2), "File name");
}

TEST_F(TdmLNGTest, TextTurnsEveryEscapeIntoALineBreak)
{
    TdmLNG m;
    // Backslash, backslash, n: the second backslash starts the escape; the
    // escape is case-sensitive; lone characters and real line feeds stay.
    const std::pair<const char *, const char *> cases[] = {
        {"x\\ny\\nz", "x\r\ny\r\nz"}, {"\\\\n", "\\\r\n"}, {"a\\Nb", "a\\Nb"}, {"a\\", "a\\"}, {"a\nb", "a\nb"}};
    for (const auto &[in, out] : cases)
        EXPECT_EQ(m.Text(in), out) << in;
    EXPECT_EQ(LngText("a\\nb"), "a\r\nb");
}

TEST_F(TdmLNGTest, DestroyedModuleClearsTheGlobalPointerOnlyIfItIsTheGlobalOne)
{
    QObject owner;
    auto *m = new TdmLNG(&owner); // owned by its Qt parent, as the main form owns it
    dmLNG = m;
    delete m;
    EXPECT_EQ(dmLNG, nullptr);
    TdmLNG global;
    dmLNG = &global;
    { TdmLNG other; }
    EXPECT_EQ(dmLNG, &global);
}

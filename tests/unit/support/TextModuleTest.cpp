// Built-in text catalogue and the text data module.
#include "support/BuiltInTexts.h"
#include "support/Lng_IniFile.h"
#include "support/QX_VisualTraceCore.h"
#include "support/dm_LNG.h"

#include "TestUtil.h"
#include "platform/core/Exceptions.h"

#include <gtest/gtest.h>

#include <QObject>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

// A language INI file whose write-back fails although it can be read: a
// read-only folder, or for root (whom permissions do not stop) a name that
// leaves no room for the temporary file of the save.
std::string UnwritableIni(const testutil::TempDir &dir, const std::string &text)
{
    if (::geteuid() == 0) {
        const std::string path = dir.File(std::string(250, 'l'));
        testutil::WriteFile(path, text);
        return path;
    }
    const std::string folder = dir.File("ro");
    ::mkdir(folder.c_str(), 0755);
    testutil::WriteFile(folder + "/de.ini", text);
    ::chmod(folder.c_str(), 0555);
    return folder + "/de.ini";
}

} // namespace

TEST_F(TdmLNGTest, LanguageIniGivesItsTwoTextsAndAddsOnlyTheMissingKeys)
{
    testutil::TempDir dir;
    const struct {
        const char *name, *before;
        const char *label, *message; // ids 2 and 21559
        std::vector<const char *> kept; // lines that must be in the file afterwards
    } cases[] = {
        {"missing.ini", nullptr, "File name", "File not found",
         {"[Labels]", "FileName=File name", "[Messages]", "FileNotFound=File not found"}},
        {"foreign.ini", "; translator: Anna\r\n[Other]\r\nKey=Value\r\n[labels]\r\n; keep me\r\nfilename=Dateiname\r\n",
         "Dateiname", "File not found",
         {"; translator: Anna", "[Other]", "Key=Value", "; keep me", "filename=Dateiname",
          "FileNotFound=File not found"}},
        {"empty-key.ini", "[Labels]\nFileName=\n", "", "File not found", {"FileName="}},
    };
    for (const auto &c : cases) {
        const std::string path = dir.File(c.name);
        if (c.before)
            testutil::WriteFile(path, c.before);
        TdmLNG m;
        m.SetMode(lngIniFile);
        std::string err = "stale";
        EXPECT_TRUE(m.Open(path, err)) << c.name;
        EXPECT_EQ(err, "");
        EXPECT_EQ(m.GetText(2), c.label) << c.name;
        EXPECT_EQ(m.GetText(21559), c.message) << c.name;
        EXPECT_EQ(m.GetText(3), "String 3"); // every other id: the catalogue
        EXPECT_EQ(m.GetText(17586), "Ok");
        const std::string after = testutil::ReadFile(path);
        for (const char *line : c.kept)
            EXPECT_NE(after.find(std::string(line) + "\n"), std::string::npos) << c.name << ": " << line << " in\n" << after;
    }

    // A file with both keys is not written at all.
    const std::string whole = dir.File("whole.ini");
    const std::string text = "[Messages]\r\nFileNotFound=Fehlt\r\n\r\n\r\n[Labels]\r\nFileName=Datei\r\n";
    testutil::WriteFile(whole, text);
    TdmLNG m;
    m.SetMode(lngIniFile);
    std::string err;
    ASSERT_TRUE(m.Open(whole, err));
    EXPECT_EQ(m.GetText(21559) + "|" + m.GetText(2), "Fehlt|Datei");
    EXPECT_EQ(testutil::ReadFile(whole), text);
    // Mode 0 again: the catalogue, the INI file no longer asked.
    m.SetMode(lngBuiltIn);
    EXPECT_EQ(m.GetText(2), "File name");
}

TEST_F(TdmLNGTest, AnUnwritableLanguageIniStillGivesItsTextsAndTracesTheFailure)
{
    testutil::TempDir dir;
    const std::string text = "[Labels]\nFileName=Dateiname\n";
    const std::string path = UnwritableIni(dir, text);
    TVisualTraceCore trace;
    trace.SetStandardOutputSink([](const std::vector<std::string> &) {});
    trace.SetToStandardOutput(true);
    trace.SetCurrentLevel(1);
    trace.SetCharPerLine(1000);
    trace.Activate();
    GlobalTrace = &trace;
    TdmLNG m;
    m.SetMode(lngIniFile);
    std::string err;
    EXPECT_TRUE(m.Open(path, err));
    GlobalTrace = nullptr;
    EXPECT_EQ(m.GetText(2), "Dateiname");
    EXPECT_EQ(m.GetText(21559), "File not found");
    EXPECT_EQ(testutil::ReadFile(path), text);
    const auto lines = trace.PendingLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Language INI file not written back: Cannot create file"), std::string::npos) << lines[0];
    ::chmod(dir.File("ro").c_str(), 0755); // so the folder can be removed

    // A file that cannot be read at all is the caller's error; the texts stay
    // the catalogue's.
    EXPECT_THROW(m.Open(dir.Path(), err), platform::EFOpenError);
    EXPECT_EQ(m.GetText(2), "File name");
}

TEST(LngIniFileTest, GetTextAnswersOnlyItsTwoIds)
{
    TLngIniFile ini;
    ini.Defaults();
    bool found = true;
    std::string text = "kept";
    ini.GetText(3, found, text);
    EXPECT_FALSE(found);
    EXPECT_EQ(text, "kept");
    ini.GetText(21559, found, text);
    EXPECT_TRUE(found);
    EXPECT_EQ(text, "File not found");
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

// The language-loader binding and the text module's loader mode, against the
// stand-in libraries in tests/lngloader (full, and one without LLDRStringGet).
#include "support/LngLoaderDLL.h"
#include "support/dm_LNG.h"
#include "TestUtil.h"
#include <dlfcn.h>
#include <gtest/gtest.h>

using namespace support;

namespace {
const std::string kFull = KSS_LNGLOADER_DIR "/full", kNoString = KSS_LNGLOADER_DIR "/nostring";

class LngLoaderTest : public ::testing::Test {
protected:
    void SetUp() override { Use(kFull); }
    void TearDown() override { Use(""); }
    void Use(const std::string &folder) { FreeLngLoader(LngLoaderModule()), SetLngLoaderFolder(folder); }
    // The stand-in's own controls, from the copy that is loaded.
    void *Loaded() const { return dlopen((kFull + "/liblngloader.so").c_str(), RTLD_NOW | RTLD_NOLOAD); }
    void Fail(const char *step)
    {
        void *h = Loaded();
        ASSERT_NE(h, nullptr);
        reinterpret_cast<void (*)(const char *)>(dlsym(h, "LngTestFail"))(step), dlclose(h);
    }
    std::string Calls()
    {
        void *h = Loaded();
        if (!h)
            return "(not loaded)";
        std::string calls = reinterpret_cast<const char *(*)()>(dlsym(h, "LngTestCalls"))();
        return dlclose(h), calls;
    }
};
} // namespace

TEST_F(LngLoaderTest, ALibraryThatCannotBeUsedGivesItsErrorAndTheBuiltInTexts)
{
    testutil::TempDir empty;
    const struct { std::string folder, error; } cases[] = {
        {empty.Path(), "liblngloader.so\r\nEOSError - liblngloader.so: cannot open shared object file: "
                       "No such file or directory"},
        {kNoString, "liblngloader.so\r\nEOSError - " + kNoString + "/liblngloader.so: undefined symbol: "
                    "LLDRStringGet"},
    };
    for (const auto &c : cases) {
        Use(c.folder);
        std::string err = "stale";
        EXPECT_FALSE(LoadLngLoaderOnce(err));
        EXPECT_EQ(err, c.error);
        // Nothing stays loaded or bound; the module keeps its built-in texts.
        EXPECT_TRUE(!LngLoaderModule() && !LngLoader.LLDROpen);
        EXPECT_EQ(dlopen((c.folder + "/liblngloader.so").c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
        TdmLNG m;
        m.SetMode(lngLoader);
        EXPECT_EQ(std::make_pair(m.Mode(), m.GetText(2)), std::make_pair(lngBuiltIn, std::string("File name")));
    }
}

TEST_F(LngLoaderTest, TextsComeFromTheLanguageFileAndTheRestFromTheCatalogue)
{
    TdmLNG m;
    m.SetMode(lngLoader);
    ASSERT_EQ(m.Mode(), lngLoader);
    std::string err = "stale";
    ASSERT_TRUE(m.Open("/lang/de.lng", err));
    EXPECT_EQ(err + m.FileName(), "/lang/de.lng");
    EXPECT_EQ(Calls(), "VersionGet(5,2,0);Open(/lang/de.lng,-2,50200,0);HeaderGet(80000001);SectionGet(80000001,1);");
    // Braces keep the order of the calls; 17586 is not in the file.
    EXPECT_EQ((std::vector<std::string>{m.GetText(2), m.GetText(21559), m.GetText(17586), m.GetText(0)}),
              (std::vector<std::string>{"Dateiname", "Datei nicht gefunden", "Ok", ""}));
    EXPECT_EQ(Calls(), "StringGet(80000001,fffffffe,2);StringGet(80000001,fffffffe,21559);StringGet(80000001,fffffffe,17586);");
    // A text without its terminator is cut at 512 bytes, leaving out a character the cut would split.
    EXPECT_EQ(m.GetText(700), std::string(512, 'L'));
    EXPECT_EQ(m.GetText(701), std::string(511, 'x'));
    Calls(); // opening again closes the first file
    ASSERT_TRUE(m.Open("/lang/fr.lng", err));
    EXPECT_EQ(Calls().substr(0, 23), "Close(80000001);Version");
    m.SetMode(lngBuiltIn);
    EXPECT_EQ(m.GetText(2), "File name");
}

TEST_F(LngLoaderTest, EachFailingStepGivesItsTextAndClosesWhatWasOpened)
{
    const struct { const char *step; bool ok; const char *error, *tail, *text2; } cases[] = {
        {"open", false, "LngLoader.LLDROpen failed", "Open(f,-2,50200,0);", "File name"},
        {"header", true, "LngLoader.LLDRHeaderGet failed", "SectionGet(80000001,1);", "Dateiname"},
        {"section", false, "LngLoader.LLDRSectionGet failed", "SectionGet(80000001,1);Close(80000001);",
         "File name"},
        {"string", true, "", "SectionGet(80000001,1);", "File name"},
    };
    for (const auto &c : cases) {
        TdmLNG m;
        m.SetMode(lngLoader), Fail(c.step), Calls();
        std::string err;
        EXPECT_EQ(m.Open("f", err), c.ok) << c.step;
        EXPECT_EQ(err, c.error);
        const std::string calls = Calls();
        EXPECT_EQ(calls.substr(calls.size() - std::strlen(c.tail)), c.tail) << c.step;
        EXPECT_EQ(m.FileName(), c.ok ? "f" : "");
        EXPECT_EQ(m.GetText(2), c.text2) << c.step;
        Fail("");
    }
}

#include "TestHelpers.h"
#include "TestUtil.h"
#include "imaging/ImageDLLLoader.h"
#include "imaging/LibraryTrace.h"
#include "imaging/PluginLinearBitmap.h"
#include "platform/gui/Graphic.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>
#include <map>
#include <sys/stat.h>

using namespace imaging;
using itest::MessageOf;
namespace fs = std::filesystem;

namespace {

// A folder of plug-ins as a program would have it, plus a file that is no
// library and a library that anyone in its group may write.
class PluginFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *v : {"full", "saveonly", "nofree"})
            fs::copy_file(std::string(KSS_FAKE_PLUGIN_DIR) + "/fake_plugin_" + v + ".so",
                          dir.File(std::string("fake_plugin_") + v + ".so"));
        testutil::WriteFile(dir.File("junk.so"), "not a library");
        fs::copy_file(dir.File("fake_plugin_full.so"), dir.File("writable.so"));
        ::chmod(dir.File("writable.so").c_str(), 0664);
        testutil::WriteFile(dir.File("notes.txt"), "ignored");
        LibraryTrace = [this](const std::string &t) { traced.push_back(t); };
        kept = loader.AddPlugins(dir.Path(), [this](const std::string &n) { heard.push_back(n); });
        full = ::dlopen(dir.File("fake_plugin_full.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
        setup = reinterpret_cast<void (*)(int, int, int, int, int, int)>(::dlsym(full, "FakeSetup"));
        frees = reinterpret_cast<int (*)()>(::dlsym(full, "FakeFrees"));
    }
    void TearDown() override
    {
        LibraryTrace = nullptr;
        if (full)
            ::dlclose(full);
        platform::UnregisterGraphicClass("TLinearGraphic");
    }
    // Loads through the complete plug-in after telling it what to answer.
    std::string Load(TLinearBitmap &b, int result, int format, int w = 2, int h = 2, bool nullPixels = false,
                     bool palette = false)
    {
        setup(result, format, w, h, nullPixels, palette);
        return MessageOf([&] { loader.LoadFromFile("x.tga", "TGA", b); });
    }

    testutil::TempDir dir;
    TImageDLLLoader loader;
    bool kept = false;
    std::vector<std::string> heard, traced;
    void *full = nullptr;
    void (*setup)(int, int, int, int, int, int) = nullptr;
    int (*frees)() = nullptr;
};

TEST_F(PluginFolder, KeepsLibrariesWithTheNeededExportsAndJoinsTheirFilters)
{
    EXPECT_TRUE(kept);
    ASSERT_EQ(loader.Plugins().size(), 2u); // full and saveonly; nofree released
    EXPECT_EQ(heard, (std::vector<std::string>{"fake_plugin_full.so", "fake_plugin_nofree.so",
                                               "fake_plugin_saveonly.so", "junk.so", "writable.so"}));
    ASSERT_EQ(traced.size(), 2u);
    EXPECT_NE(traced[0].find("Image plug-in not loaded: " + dir.File("junk.so")), std::string::npos);
    EXPECT_EQ(traced[1], "Image plug-in skipped, writable by others: " + dir.File("writable.so"));

    std::string f;
    loader.GetLoadFilter(f);
    EXPECT_EQ(f, "Targa (*.tgax;*.tga;*.TGA)|*.tgax;*.tga;*.TGA|Fake (*.fak;*.*)|*.fak;*.*");
    loader.GetSaveFilter(f);
    EXPECT_EQ(f, "Fake (*.fak)|*.fak;*." + std::string(300, 'L') + "|Saved (*.sav)|*.sav");
    EXPECT_TRUE(loader.CanLoad("TGA"));
    EXPECT_FALSE(loader.CanLoad("SAV"));
    EXPECT_TRUE(loader.CanSave("SAV"));

    // Each load extension is a picture format once, also one that begins
    // another (TGA after TGAX); "*.*" names none.
    std::map<std::string, int> formats;
    for (const auto &ff : platform::FileFormats())
        if (ff.ClassName == "TLinearGraphic")
            ++formats[ff.Extension];
    EXPECT_EQ(formats, (std::map<std::string, int>{{"FAK", 1}, {"SAV", 1}, {"TGA", 1}, {"TGAX", 1}}));

    TImageDLLLoader second;
    EXPECT_FALSE(second.AddPlugins(dir.File("missing-folder")));
}

TEST_F(PluginFolder, LoadResultsAndFormats)
{
    struct Case {
        int result, format;
        const char *error;
        TPixelFormat pf;
        bool freed;
    };
    const Case cases[] = {
        {2, 3, "Unable to open file", pfCustom, false},
        {3, 3, "Error in bitmap data", pfCustom, false},
        {4, 3, "Unsupported pixel format", pfCustom, false},
        {5, 3, "Unable to close file", pfCustom, false},
        {7, 3, "Error in bitmap data: 7", pfCustom, false},
        {0, 1, itest::kNoException, pf8bit, true},
        {0, 33, itest::kNoException, pf16bit, true},
        {0, 3, itest::kNoException, pf24bit, true},
        // 32-bit pixels become 24-bit, and that is a success.
        {0, 4, itest::kNoException, pf24bit, true},
        {0, 18, itest::kNoException, pf24bit, true},
        {0, 20, "The image contains 4 color planes, only 3 were loaded", pf24bit, true},
        {0, 2, "Unsupported pixel format", pfCustom, true},
        {0, 0, "Unsupported bitmap format", pfCustom, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "result " << c.result << " format " << c.format);
        TLinearBitmap b;
        const int before = frees();
        EXPECT_EQ(Load(b, c.result, c.format), c.error);
        EXPECT_EQ(frees() - before, c.freed ? 1 : 0);
        if (c.pf != pfCustom) {
            EXPECT_EQ(b.PixelFormat, c.pf);
        }
    }
}

TEST_F(PluginFolder, PixelsArriveInTheirPlaces)
{
    TLinearBitmap b;
    // 8-bit without a palette: grey; with one: the plug-in's.
    ASSERT_EQ(Load(b, 0, 1), itest::kNoException);
    EXPECT_EQ(std::vector<int>(b.Map.get(), b.Map.get() + 4), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(b.Palette[3 * 200 + 1], 200);
    ASSERT_EQ(Load(b, 0, 1, 2, 2, false, true), itest::kNoException);
    EXPECT_EQ(b.Palette[1], 254);
    // 32-bit: the fourth byte of each pixel goes.
    ASSERT_EQ(Load(b, 0, 4, 2, 1), itest::kNoException);
    EXPECT_EQ(std::vector<int>(b.Map.get(), b.Map.get() + 6), (std::vector<int>{1, 2, 3, 5, 6, 7}));
    // Planar: plane k lands in byte k; a missing third plane leaves zeros;
    // of four planes the first three are kept.
    ASSERT_EQ(Load(b, 0, 18, 2, 1), itest::kNoException);
    EXPECT_EQ(std::vector<int>(b.Map.get(), b.Map.get() + 6), (std::vector<int>{1, 3, 0, 2, 4, 0}));
    Load(b, 0, 20, 2, 1);
    EXPECT_EQ(std::vector<int>(b.Map.get(), b.Map.get() + 6), (std::vector<int>{1, 3, 5, 2, 4, 6}));
}

TEST_F(PluginFolder, HostileRecordsAreRefused)
{
    TLinearBitmap b;
    const int before = frees();
    EXPECT_EQ(Load(b, 0, 3, 2, 2, true), "Error in bitmap data");
    EXPECT_EQ(Load(b, 0, 19, 2, 2, true), "Error in bitmap data");
    EXPECT_EQ(Load(b, 0, 3, 0, 5, true), "Error in bitmap data");
    EXPECT_EQ(Load(b, 0, 1, 1 << 15, 1 << 14, true), "Error in bitmap data");
    EXPECT_EQ(frees() - before, 4); // handed back even so
    setup(0, 1, 1 << 15, 1 << 14, 0, 0);
    // Over 2^28 pixels: refused before anything is copied (the fake
    // allocated only what it could).
    TImageContainer c{};
    c.Width = 1 << 15;
    c.Height = 1 << 14;
    c.PixelFormat = 1;
    std::uint8_t pixel = 0;
    c.Pixels = &pixel;
    EXPECT_EQ(MessageOf([&] { ContainerToBitmap(b, c); }), "Invalid bitmap size");
    c.Width = -1;
    EXPECT_EQ(MessageOf([&] { ContainerToBitmap(b, c); }), "Invalid bitmap size");
}

TEST_F(PluginFolder, SavesThroughTheFirstPluginThatSaves)
{
    auto saved = reinterpret_cast<int (*)(int *)>(::dlsym(full, "FakeSaved"));
    auto ext = reinterpret_cast<const char *(*)()>(::dlsym(full, "FakeExt"));
    TLinearBitmap b;
    b.New(3, 2, pf24bit);
    setup(0, 3, 2, 2, 0, 0);
    loader.SaveToFile(dir.File("out.fak"), "FAK", b);
    int bpl = 0;
    EXPECT_EQ(saved(&bpl), 3);
    EXPECT_EQ(bpl, 9);

    // A failure names its number and leaves no file behind.
    setup(9, 3, 2, 2, 0, 0);
    EXPECT_EQ(MessageOf([&] { loader.SaveToFile(dir.File("new.fak"), "FAK", b); }), "Error writing image file: 9");
    EXPECT_FALSE(fs::exists(dir.File("new.fak")));
    setup(0, 3, 2, 2, 0, 0);

    // The extension reaches the plug-in cut to the interface's 260 bytes.
    const std::string longExt(300, 'L');
    loader.SaveToFile(dir.File("long.fak"), longExt, b);
    EXPECT_EQ(std::string(ext()), longExt.substr(0, 260));

    b.New(2, 2, pf32bit);
    EXPECT_EQ(MessageOf([&] { loader.SaveToFile(dir.File("x.fak"), "FAK", b); }), "Unsupported pixel format");
    EXPECT_EQ(MessageOf([&] { loader.SaveToFile(dir.File("x.tga"), "TGA", b); }), "Unsupported file format");
    EXPECT_EQ(MessageOf([&] { loader.LoadFromFile(dir.File("x.sav"), "SAV", b); }), "Unsupported file format");
}

TEST(PluginResult, TextsOfTheResultCodes)
{
    EXPECT_EQ(MessageOf([] { CheckPluginResult(0, "x"); }), itest::kNoException);
    EXPECT_EQ(MessageOf([] { CheckPluginResult(12, ""); }), "Process failed: 12");
    EXPECT_EQ(MessageOf([] { CheckPluginResult(-1, "Error writing image file: %d"); }),
              "Error writing image file: -1");
}

// The TIFF plug-in that ships with the program, through the registry the
// way the capture saves: 8- and 24-bit images come back unchanged.
TEST(TIFFPlugin, RoundTripsThroughTheRegistry)
{
    testutil::TempDir dir;
    fs::copy_file(KSS_TIFF_PLUGIN, dir.File("tiff-plugin.so"));
    RegisterDLLLoader();
    ASSERT_TRUE(DLLLoader()->AddPlugins(dir.Path()));
    for (TPixelFormat pf : {pf8bit, pf24bit}) {
        TLinearBitmap b, back;
        b.New(37, 5, pf);
        for (int i = 0; i < b.Size; ++i)
            b.Map[i] = static_cast<std::uint8_t>(i * 7 + i / 37);
        if (pf == pf8bit)
            for (int i = 0; i < 768; ++i)
                b.Palette[i] = static_cast<std::uint8_t>(i * 5);
        b.SaveToFile(dir.File("a.tif"));
        back.LoadFromFile(dir.File("a.tif"));
        ASSERT_EQ(back.PixelFormat, pf);
        EXPECT_EQ(std::string(back.Map.get(), back.Map.get() + back.Size),
                  std::string(b.Map.get(), b.Map.get() + b.Size));
        if (pf == pf8bit) {
            EXPECT_EQ(std::string(back.Palette.get(), back.Palette.get() + 768),
                      std::string(b.Palette.get(), b.Palette.get() + 768));
        }
    }
    TLinearBitmap b;
    testutil::WriteFile(dir.File("bad.tif"), "II*\0garbage");
    EXPECT_EQ(MessageOf([&] { b.LoadFromFile(dir.File("bad.tif")); }), "Unable to open file");
    EXPECT_EQ(MessageOf([&] { b.LoadFromFile(dir.File("missing.tif")); }), "Unable to open file");
    UnregisterDLLLoader();
}

} // namespace

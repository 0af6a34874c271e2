#include "TestHelpers.h"
#include "TestUtil.h"
#include "imaging/ImageDLLLoader.h"
#include "imaging/LibraryTrace.h"
#include "imaging/PluginLinearBitmap.h"
#include "platform/gui/Graphic.h"

#include <dlfcn.h>
#include <filesystem>
#include <map>
#include <sys/stat.h>

using namespace imaging;
using itest::kNoException;
using itest::MessageOf;
namespace fs = std::filesystem;

namespace {

template <typename F> F Sym(void *lib, const char *name) { return reinterpret_cast<F>(::dlsym(lib, name)); }

// A folder of plug-ins as a program would have it, plus a file that is no library and a library that anyone in its group may
// write.
class PluginFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (std::string v : {"full", "saveonly", "nofree"})
            fs::copy_file(KSS_FAKE_PLUGIN_DIR "/fake_plugin_" + v + ".so", dir.File("fake_plugin_" + v + ".so"));
        testutil::WriteFile(dir.File("junk.so"), "not a library");
        testutil::WriteFile(dir.File("notes.txt"), "ignored");
        fs::copy_file(dir.File("fake_plugin_full.so"), dir.File("writable.so"));
        ::chmod(dir.File("writable.so").c_str(), 0664);
        LibraryTrace = [this](const std::string &t) { traced.push_back(t); };
        ASSERT_TRUE(loader.AddPlugins(dir.Path(), [this](const std::string &n) { heard.push_back(n); }));
        full = ::dlopen(dir.File("fake_plugin_full.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
        setup = Sym<void (*)(int, int, int, int, int, int)>(full, "FakeSetup");
        frees = Sym<int (*)()>(full, "FakeFrees");
    }
    void TearDown() override
    {
        LibraryTrace = nullptr;
        ::dlclose(full);
        platform::UnregisterGraphicClass("TLinearGraphic");
    }
    // Loads through the complete plug-in after telling it what to answer.
    std::string Load(TLinearBitmap &b, int result, int format, int w = 2, int h = 2, int nullPixels = 0, int pal = 0)
    {
        setup(result, format, w, h, nullPixels, pal);
        return MessageOf([&] { loader.LoadFromFile("x.tga", "TGA", b); });
    }

    testutil::TempDir dir;
    TImageDLLLoader loader;
    std::vector<std::string> heard, traced;
    void *full = nullptr;
    void (*setup)(int, int, int, int, int, int) = nullptr;
    int (*frees)() = nullptr;
};

TEST_F(PluginFolder, KeepsLibrariesWithTheNeededExportsAndJoinsTheirFilters)
{
    ASSERT_EQ(loader.Plugins().size(), 2u); // full and saveonly; nofree released
    EXPECT_EQ(heard, (std::vector<std::string>{"fake_plugin_full.so", "fake_plugin_nofree.so",
                                               "fake_plugin_saveonly.so", "junk.so", "writable.so"}));
    ASSERT_EQ(traced.size(), 2u);
    EXPECT_NE(traced[0].find("Image plug-in not loaded: " + dir.File("junk.so")), std::string::npos);
    EXPECT_EQ(traced[1], "Image plug-in skipped, writable by others: " + dir.File("writable.so"));
    std::string load, save;
    loader.GetLoadFilter(load), loader.GetSaveFilter(save);
    EXPECT_EQ(load, "Targa (*.tgax;*.tga;*.TGA)|*.tgax;*.tga;*.TGA|Fake (*.fak;*.*)|*.fak;*.*");
    EXPECT_EQ(save, "Fake (*.fak)|*.fak;*." + std::string(300, 'L') + "|Saved (*.sav)|*.sav");
    EXPECT_TRUE(loader.CanLoad("TGA") && loader.CanSave("SAV") && !loader.CanLoad("SAV"));
    // Each load extension is a picture format once, also one that begins another (TGA after TGAX); "*.*" names none.
    std::map<std::string, int> formats;
    for (const auto &ff : platform::FileFormats())
        formats[ff.Extension] += ff.ClassName == "TLinearGraphic";
    std::erase_if(formats, [](const auto &f) { return f.second == 0; });
    EXPECT_EQ(formats, (std::map<std::string, int>{{"FAK", 1}, {"SAV", 1}, {"TGA", 1}, {"TGAX", 1}}));
    EXPECT_FALSE(TImageDLLLoader().AddPlugins(dir.File("missing-folder")));
}

TEST_F(PluginFolder, LoadResultsFormatsAndPixels)
{
    // 32-bit pixels become 24-bit, and that is a success.
    const struct { int result, format; const char *error; TPixelFormat pf; } cases[] = {
        {2, 3, "Unable to open file", pfCustom}, {3, 3, "Error in bitmap data", pfCustom},
        {4, 3, "Unsupported pixel format", pfCustom}, {5, 3, "Unable to close file", pfCustom},
        {7, 3, "Error in bitmap data: 7", pfCustom}, {0, 1, kNoException, pf8bit},
        {0, 33, kNoException, pf16bit}, {0, 3, kNoException, pf24bit}, {0, 4, kNoException, pf24bit},
        {0, 20, "The image contains 4 color planes, only 3 were loaded", pf24bit},
        {0, 2, "Unsupported pixel format", pfCustom}, {0, 0, "Unsupported bitmap format", pfCustom},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "result " << c.result << " format " << c.format);
        TLinearBitmap b;
        const int before = frees();
        EXPECT_EQ(Load(b, c.result, c.format), c.error);
        EXPECT_EQ(frees() - before, c.result ? 0 : 1);
        EXPECT_TRUE(c.pf == pfCustom || b.PixelFormat == c.pf);
    }
    // 8-bit: grey without a palette. 32-bit: the fourth byte of each pixel goes. Planar: plane k lands in byte k; a missing
    // third plane leaves zeros; of four planes the first three are kept.
    const struct { int format, h; itest::Bytes pixels; } pixels[] = {
        {1, 2, {1, 2, 3, 4}}, {4, 1, {1, 2, 3, 5, 6, 7}}, {18, 1, {1, 3, 0, 2, 4, 0}}, {20, 1, {1, 3, 5, 2, 4, 6}}};
    for (const auto &p : pixels) {
        TLinearBitmap b;
        Load(b, 0, p.format, 2, p.h);
        EXPECT_EQ(itest::Bytes(b.Map.get(), b.Map.get() + p.pixels.size()), p.pixels) << p.format;
        EXPECT_TRUE(p.format != 1 || b.Palette[3 * 200 + 1] == 200);
    }
    TLinearBitmap b;
    ASSERT_EQ(Load(b, 0, 1, 2, 2, 0, 1), kNoException);
    EXPECT_EQ(b.Palette[1], 254); // the plug-in's palette
}

TEST_F(PluginFolder, HostileRecordsAreRefused)
{
    TLinearBitmap b;
    const int before = frees();
    for (auto [format, w, h] : {std::tuple{3, 2, 2}, {19, 2, 2}, {3, 0, 5}, {1, 1 << 15, 1 << 14}})
        EXPECT_EQ(Load(b, 0, format, w, h, 1), "Error in bitmap data") << format << " " << w;
    EXPECT_EQ(frees() - before, 4); // handed back even so
    // Over 2^28 pixels or a negative side: refused before anything is copied.
    std::uint8_t pixel = 0;
    for (int w : {1 << 15, -1}) {
        TImageContainer c{};
        c.Width = w, c.Height = 1 << 14, c.PixelFormat = 1, c.Pixels = &pixel;
        EXPECT_EQ(MessageOf([&] { ContainerToBitmap(b, c); }), "Invalid bitmap size");
    }
}

TEST_F(PluginFolder, SavesThroughTheFirstPluginThatSaves)
{
    auto b = itest::NewBitmap(3, 2, pf24bit);
    setup(0, 3, 2, 2, 0, 0);
    // The extension reaches the plug-in cut to the interface's 260 bytes.
    loader.SaveToFile(dir.File("long.fak"), std::string(300, 'L'), *b);
    int format = 0, bpl = 0;
    const std::string ext = Sym<const char *(*)(int *, int *)>(full, "FakeSaved")(&format, &bpl);
    EXPECT_EQ(std::tuple(ext, format, bpl), std::tuple(std::string(260, 'L'), 3, 9));
    // A failure names its number and leaves no file behind.
    setup(9, 3, 2, 2, 0, 0);
    EXPECT_EQ(MessageOf([&] { loader.SaveToFile(dir.File("new.fak"), "FAK", *b); }), "Error writing image file: 9");
    EXPECT_FALSE(fs::exists(dir.File("new.fak")));
    setup(0, 3, 2, 2, 0, 0);
    b->New(2, 2, pf32bit);
    EXPECT_EQ(MessageOf([&] { loader.SaveToFile(dir.File("x.fak"), "FAK", *b); }), "Unsupported pixel format");
    EXPECT_EQ(MessageOf([&] { loader.SaveToFile(dir.File("x.tga"), "TGA", *b); }), "Unsupported file format");
    EXPECT_EQ(MessageOf([&] { loader.LoadFromFile(dir.File("x.sav"), "SAV", *b); }), "Unsupported file format");

    EXPECT_EQ(MessageOf([] { CheckPluginResult(0, "x"); }), kNoException);
    EXPECT_EQ(MessageOf([] { CheckPluginResult(12, ""); }), "Process failed: 12");
    EXPECT_EQ(MessageOf([] { CheckPluginResult(-1, "Error writing image file: %d"); }), "Error writing image file: -1");
}

} // namespace

#include "TestHelpers.h"
#include "TestUtil.h"
#include "imaging/LinarBitmap.h"

#include <climits>
#include <filesystem>
#include <sys/stat.h>

using namespace imaging;
using itest::MessageOf;

namespace {

// Filter strings as given; "-" for the save filter takes the base class's.
class FilterLoader : public TBitmapLoader {
public:
    FilterLoader(std::string load, std::string save = "-") : load_(std::move(load)), save_(std::move(save)) {}
    void GetLoadFilter(std::string &f) override { f = load_; }
    void GetSaveFilter(std::string &f) override { save_ == "-" ? TBitmapLoader::GetSaveFilter(f) : void(f = save_); }

private:
    std::string load_, save_;
};

// Works on named files only, like a plug-in: the stream routes come from the base class. A file's bytes become a one-row 8-bit
// image.
class FileOnlyLoader : public FilterLoader {
public:
    FileOnlyLoader() : FilterLoader("Fake (*.fak)|*.fak") {}
    void LoadFromFile(const std::string &name, const std::string &ext, TLinearBitmap &bitmap) override
    {
        seenNames.push_back(name);
        seenExt = ext;
        struct stat st {};
        ::stat(name.c_str(), &st);
        seenMode = st.st_mode & 0777;
        const std::string data = testutil::ReadFile(name);
        if (fail)
            throw ELinearBitmap("broken image");
        bitmap.New(static_cast<int>(data.size()), 1, pf8bit);
        std::memcpy(bitmap.Map.get(), data.data(), data.size());
    }
    void SaveToFile(const std::string &name, const std::string &, const TLinearBitmap &bitmap) override
    {
        testutil::WriteFile(name, std::string(reinterpret_cast<const char *>(bitmap.Map.get()), static_cast<std::size_t>(bitmap.Size)));
    }
    std::vector<std::string> seenNames;
    std::string seenExt;
    unsigned seenMode = 0;
    bool fail = false;
};

// Works on streams only (four bytes a picture): the file routes come from the base class.
class StreamOnlyLoader : public FilterLoader {
public:
    StreamOnlyLoader() : FilterLoader("Raw (*.raw)|*.raw") {}
    void LoadFromStream(TBaseStream &s, const std::string &, TLinearBitmap &bitmap) override
    {
        bitmap.New(4, 1, pf8bit);
        s.Read(bitmap.Map.get(), 4);
    }
    void SaveToStream(TBaseStream &s, const std::string &, const TLinearBitmap &bitmap) override
    {
        s.Write(bitmap.Map.get(), bitmap.Size);
        if (failAfterWriting)
            throw ELinearBitmap("disk trouble");
    }
    bool failAfterWriting = false;
};

std::string Text(const TLinearBitmap &b) { return std::string(reinterpret_cast<const char *>(b.Map.get()), static_cast<std::size_t>(b.Size)); }

// Endless zeros that claim to hold as much as an int can say.
struct ZeroStream : TBaseStream {
    ZeroStream() { CanRead = true; }
    int Write(const void *, int) override { return 0; }
    int Read(void *b, int n) override { return std::memset(b, 0, static_cast<std::size_t>(n)), n; }
    int Available() override { return INT_MAX; }
};

} // namespace

TEST(LoaderRegistry, FirstMatchInRegistrationOrderAndFilters)
{
    FilterLoader plugin("Targa (*.tga)|*.tga|Portable (*.png)|*.png"), png("PNG (*.png)|*.png"),
        bmp("Windows bitmap (*.bmp)|*.bmp", ""), none(""), bmpFirst("BMP (*.bmp)|*.bmp"), trailing("aaa (*.aaa)|*.aaa|");
    TBitmapLoaders reg;
    reg.Add(&plugin);
    reg.Add(&png);
    reg.Add(&bmp);
    EXPECT_EQ(reg.FindLoader("png"), &plugin);
    EXPECT_EQ(reg.FindLoader("bmp"), &bmp);
    EXPECT_TRUE(plugin.CanLoad("T") && plugin.CanLoad("TG") && !plugin.CanLoad(""));
    EXPECT_EQ(MessageOf<EUnsupportedFileFormat>([&] { reg.FindLoader(""); }), "Unsupported file format: ");
    EXPECT_EQ(MessageOf<EUnsupportedFileFormat>([&] { reg.FindLoader("tif"); }), "Unsupported file format: TIF");
    EXPECT_EQ(MessageOf<EUnsupportedFileFormat>([&] { reg.FindSaver("bmp"); }), "Unsupported file format: BMP");
    EXPECT_EQ(reg.FindSaver("png"), &plugin);
    reg.Remove(&plugin);
    EXPECT_EQ(reg.FindLoader("png"), &png);
    // The save filter: pairs of every saver, sorted, joined.
    reg.Add(&none);
    std::string filter;
    reg.GetSaveFilter(filter);
    EXPECT_EQ(filter, "PNG (*.png)|*.png");
    reg.Add(&bmpFirst);
    reg.Add(&trailing);
    reg.GetSaveFilter(filter);
    EXPECT_EQ(filter, "aaa (*.aaa)|*.aaa|BMP (*.bmp)|*.bmp|PNG (*.png)|*.png");
    using Pairs = std::vector<std::string>;
    for (const auto &[in, out] : {std::pair<std::string, Pairs>{"A (*.a)|*.a|B (*.b)|*.b;*.bb", {"A (*.a)|*.a", "B (*.b)|*.b;*.bb"}},
                                  {"A (*.a)|*.a|", {"A (*.a)|*.a|"}}, {"", {}}}) {
        Pairs list;
        AddFilterPairs(in, list);
        EXPECT_EQ(list, out) << in;
    }
    Pairs list;
    for (const char *bad : {"no bar here", "A|*.a|Bc", "xy|"})
        EXPECT_EQ(MessageOf<platform::EAssertionFailed>([&] { AddFilterPairs(bad, list); }).rfind("Invalid filter string", 0), 0u) << bad;
}

// Stream routes of a file-only loader go through a private temporary file that never outlives the call.
TEST(LoaderRegistry, StreamRoutesThroughAPrivateTemporaryFile)
{
    testutil::TempDir tmp;
    testutil::ScopedEnv env("TMPDIR", tmp.Path());
    const auto entries = [&] { return std::distance(std::filesystem::directory_iterator(tmp.Path()), {}); };
    FileOnlyLoader loader;
    const auto mem = itest::MemOf(std::string("hello"));
    TLinearBitmap b;
    loader.LoadFromStream(*mem, "FAK", b);
    EXPECT_EQ(Text(b), "hello");
    EXPECT_EQ(entries(), 0);
    EXPECT_TRUE(mem->NoDataExcept);
    const std::string &name = loader.seenNames.at(0);
    EXPECT_EQ(name.rfind(tmp.Path() + "/", 0), 0u);
    EXPECT_EQ(name.substr(name.size() - 4), ".FAK");
    EXPECT_EQ(loader.seenMode, 0600u); // private to the user
    mem->Seek(0);
    loader.LoadFromStream(*mem, "../x/FAK", b); // the extension never leads elsewhere
    EXPECT_EQ(loader.seenNames.at(1).rfind(tmp.Path() + "/kss-", 0), 0u);
    EXPECT_NE(loader.seenNames[1], loader.seenNames[0]);
    EXPECT_EQ(loader.seenExt, "../x/FAK");
    loader.fail = true;
    mem->Seek(0);
    EXPECT_EQ(MessageOf<ELinearBitmap>([&] { loader.LoadFromStream(*mem, "FAK", b); }), "broken image");
    EXPECT_EQ(entries(), 0); // removed also when the loader raises
    EXPECT_TRUE(mem->NoDataExcept);
    ZeroStream zeros; // endless data is refused, not cut
    EXPECT_EQ(MessageOf<ELinearBitmap>([&] { loader.LoadFromStream(zeros, "FAK", b); }), "Image data larger than 104857600 bytes");
    EXPECT_EQ(loader.seenNames.size(), 3u);
    EXPECT_EQ(entries(), 0);
    EXPECT_TRUE(zeros.NoDataExcept);
    b.New(3, 1, pf8bit);
    std::memcpy(b.Map.get(), "abc", 3);
    TMemStream out;
    loader.SaveToStream(out, "FAK", b);
    EXPECT_EQ(out.Size(), 3);
    EXPECT_EQ(entries(), 0);
}

TEST(LoaderRegistry, FileRoutesAndTheBitmapsChoiceByExtension)
{
    testutil::TempDir dir;
    StreamOnlyLoader raw;
    AddLoader(&raw);
    TLinearBitmap b, c, d;
    b.New(4, 1, pf8bit);
    std::memcpy(b.Map.get(), "1234", 4);
    b.SaveToFile(dir.File("pic.Raw"));
    EXPECT_EQ(testutil::ReadFile(dir.File("pic.Raw")), "1234");
    c.LoadFromFile(dir.File("pic.Raw"));
    EXPECT_EQ(Text(c), "1234");
    // An unknown extension raises before anything is cleared.
    EXPECT_EQ(MessageOf<EUnsupportedFileFormat>([&] { c.LoadFromFile(dir.File("image.tif")); }), "Unsupported file format: TIF");
    EXPECT_TRUE(c.Present);
    EXPECT_EQ(MessageOf<EUnsupportedFileFormat>([&] { b.SaveToFile(dir.File("noext")); }), "Unsupported file format: ");
    EXPECT_THROW(c.LoadFromFile(dir.File("missing.raw")), EInOutError);
    raw.failAfterWriting = true; // a failed save leaves no partial file behind
    EXPECT_EQ(MessageOf<ELinearBitmap>([&] { b.SaveToFile(dir.File("b.raw")); }), "disk trouble");
    EXPECT_FALSE(testutil::FileExists(dir.File("b.raw")));
    raw.failAfterWriting = false;
    TMemStream mem;
    b.SaveToStream(mem, "RAW");
    mem.Seek(0);
    d.LoadFromStream(mem, "raw");
    EXPECT_EQ(Text(d), "1234");
    BitmapLoaders.Remove(&raw);
    EXPECT_THROW(d.LoadFromStream(mem, "RAW"), EUnsupportedFileFormat);
}

#include "ErrorText.h"
#include "FakeStreams.h"
#include "TestUtil.h"
#include "imaging/LinarBitmap.h"
#include "imaging/MemStream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace imaging;
using imaging_test::MessageOf;

namespace {

class FilterLoader : public TBitmapLoader {
public:
    FilterLoader(std::string load, std::string save = "-") : load_(std::move(load)), save_(std::move(save)) {}
    void GetLoadFilter(std::string &f) override { f = load_; }
    void GetSaveFilter(std::string &f) override
    {
        if (save_ == "-")
            TBitmapLoader::GetSaveFilter(f);
        else
            f = save_;
    }

private:
    std::string load_, save_;
};

// Works on named files only, like a plug-in: the stream routes come from the
// base class. A file's bytes become a one-row 8-bit image.
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
        seenNames.push_back(name);
        testutil::WriteFile(name, std::string(reinterpret_cast<const char *>(bitmap.Map.get()),
                                              static_cast<std::size_t>(bitmap.Size)));
    }
    std::vector<std::string> seenNames;
    std::string seenExt;
    unsigned seenMode = 0;
    bool fail = false;
};

// Works on streams only: the file routes come from the base class.
class StreamOnlyLoader : public FilterLoader {
public:
    StreamOnlyLoader() : FilterLoader("Raw (*.raw)|*.raw") {}
    void LoadFromStream(TBaseStream &s, const std::string &, TLinearBitmap &bitmap) override
    {
        char buf[4];
        s.Read(buf, 4);
        bitmap.New(4, 1, pf8bit);
        std::memcpy(bitmap.Map.get(), buf, 4);
    }
    void SaveToStream(TBaseStream &s, const std::string &, const TLinearBitmap &bitmap) override
    {
        s.Write(bitmap.Map.get(), bitmap.Size);
        if (failAfterWriting)
            throw ELinearBitmap("disk trouble");
    }
    bool failAfterWriting = false;
};

// Private TMPDIR for one test: the temporary routes must leave nothing there.
class ScopedTmpDir {
public:
    const std::string &Path() const { return dir_.Path(); }
    int Entries() const
    {
        return static_cast<int>(std::distance(std::filesystem::directory_iterator(dir_.Path()), {}));
    }

private:
    testutil::TempDir dir_;
    testutil::ScopedEnv env_{"TMPDIR", dir_.Path()};
};

// Endless zeros that claim to hold as much as an int can say.
class ZeroStream : public TBaseStream {
public:
    ZeroStream() { CanRead = true; }
    int Write(const void *, int) override { return 0; }
    int Read(void *b, int n) override
    {
        std::memset(b, 0, static_cast<std::size_t>(n));
        return n;
    }
    int Available() override { return INT_MAX; }
};

} // namespace

TEST(LoaderRegistry, FirstMatchInRegistrationOrder)
{
    FilterLoader plugin("Targa (*.tga)|*.tga|Portable (*.png)|*.png");
    FilterLoader png("PNG (*.png)|*.png");
    FilterLoader bmp("Windows bitmap (*.bmp)|*.bmp", "");
    TBitmapLoaders reg;
    reg.Add(&plugin);
    reg.Add(&png);
    reg.Add(&bmp);
    EXPECT_EQ(reg.FindLoader("png"), &plugin);
    EXPECT_EQ(reg.FindLoader("PNG"), &plugin);
    EXPECT_EQ(reg.FindLoader("bmp"), &bmp);
    EXPECT_TRUE(plugin.CanLoad("T"));
    EXPECT_TRUE(plugin.CanLoad("TG"));
    EXPECT_FALSE(plugin.CanLoad(""));
    EXPECT_EQ(MessageOf<EUnsupportedFileFormat>([&] { reg.FindLoader(""); }), "Unsupported file format: ");
    EXPECT_EQ(MessageOf<EUnsupportedFileFormat>([&] { reg.FindLoader("tif"); }), "Unsupported file format: TIF");
    EXPECT_EQ(MessageOf<EUnsupportedFileFormat>([&] { reg.FindSaver("bmp"); }), "Unsupported file format: BMP");
    EXPECT_EQ(reg.FindSaver("png"), &plugin);
    reg.Remove(&plugin);
    EXPECT_EQ(reg.FindLoader("png"), &png);
    EXPECT_EQ(reg.Count(), 2);
}

TEST(LoaderRegistry, SaveFilterPairsSortedAndJoined)
{
    FilterLoader pcx("PCX image (*.pcx)|*.pcx");
    FilterLoader bmp("Windows bitmap (*.bmp)|*.bmp");
    FilterLoader trailing("aaa (*.aaa)|*.aaa|");
    FilterLoader none("");
    TBitmapLoaders reg;
    reg.Add(&pcx);
    reg.Add(&bmp);
    reg.Add(&none);
    std::string filter;
    reg.GetSaveFilter(filter);
    EXPECT_EQ(filter, "PCX image (*.pcx)|*.pcx|Windows bitmap (*.bmp)|*.bmp");
    FilterLoader bmpFirst("BMP (*.bmp)|*.bmp");
    reg.Add(&bmpFirst);
    reg.Add(&trailing);
    reg.GetSaveFilter(filter);
    EXPECT_EQ(filter, "aaa (*.aaa)|*.aaa|BMP (*.bmp)|*.bmp|PCX image (*.pcx)|*.pcx|Windows bitmap (*.bmp)|*.bmp");
}

TEST(LoaderRegistry, AddFilterPairs)
{
    using Pairs = std::vector<std::string>;
    for (const auto &[in, out] : {std::pair<std::string, Pairs>{"A (*.a)|*.a|B (*.b)|*.b;*.bb", {"A (*.a)|*.a", "B (*.b)|*.b;*.bb"}},
                                  {"A (*.a)|*.a|", {"A (*.a)|*.a|"}},
                                  {"", {}}}) {
        Pairs list;
        AddFilterPairs(in, list);
        EXPECT_EQ(list, out) << in;
    }
    Pairs list;
    for (const char *bad : {"no bar here", "A|*.a|Bc", "xy|"})
        EXPECT_EQ(MessageOf<platform::EAssertionFailed>([&] { AddFilterPairs(bad, list); }).rfind("Invalid filter string", 0),
                  0u)
            << bad;
}

TEST(LoaderRegistry, StreamLoadThroughAPrivateTemporaryFile)
{
    ScopedTmpDir tmp;
    FileOnlyLoader loader;
    TMemStream mem;
    mem.Write("hello", 5);
    mem.Seek(0);
    TLinearBitmap b;
    loader.LoadFromStream(mem, "FAK", b);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(b.Map.get()), 5), "hello");
    EXPECT_EQ(tmp.Entries(), 0);
    EXPECT_TRUE(mem.NoDataExcept);
    ASSERT_EQ(loader.seenNames.size(), 1u);
    const std::string &name = loader.seenNames[0];
    EXPECT_EQ(name.rfind(tmp.Path() + "/", 0), 0u);
    EXPECT_EQ(name.substr(name.size() - 4), ".FAK");
    EXPECT_EQ(loader.seenMode, 0600u); // private to the user

    mem.Seek(0);
    loader.LoadFromStream(mem, "../x/FAK", b); // the extension never leads elsewhere
    EXPECT_EQ(loader.seenNames[1].rfind(tmp.Path() + "/kss-", 0), 0u);
    EXPECT_NE(loader.seenNames[1], loader.seenNames[0]);
    EXPECT_EQ(loader.seenExt, "../x/FAK");

    loader.fail = true;
    mem.Seek(0);
    EXPECT_EQ(MessageOf<ELinearBitmap>([&] { loader.LoadFromStream(mem, "FAK", b); }), "broken image");
    EXPECT_EQ(tmp.Entries(), 0); // removed also when the loader raises
    EXPECT_TRUE(mem.NoDataExcept);
}

TEST(LoaderRegistry, StreamLoadRefusesToCutData)
{
    ScopedTmpDir tmp;
    FileOnlyLoader loader;
    ZeroStream zeros;
    TLinearBitmap b;
    EXPECT_EQ(MessageOf<ELinearBitmap>([&] { loader.LoadFromStream(zeros, "FAK", b); }),
              "Image data larger than 104857600 bytes");
    EXPECT_TRUE(loader.seenNames.empty());
    EXPECT_EQ(tmp.Entries(), 0);
    EXPECT_TRUE(zeros.NoDataExcept);
}

TEST(LoaderRegistry, StreamSaveAndFileRoutes)
{
    ScopedTmpDir tmp;
    FileOnlyLoader fileOnly;
    TLinearBitmap b;
    b.New(3, 1, pf8bit);
    std::memcpy(b.Map.get(), "abc", 3);
    TMemStream out;
    fileOnly.SaveToStream(out, "FAK", b);
    EXPECT_EQ(out.Size(), 3);
    EXPECT_EQ(tmp.Entries(), 0);

    testutil::TempDir dir;
    StreamOnlyLoader streamOnly;
    b.New(4, 1, pf8bit);
    std::memcpy(b.Map.get(), "wxyz", 4);
    streamOnly.SaveToFile(dir.File("a.raw"), "RAW", b);
    EXPECT_EQ(testutil::ReadFile(dir.File("a.raw")), "wxyz");
    TLinearBitmap back;
    streamOnly.LoadFromFile(dir.File("a.raw"), "RAW", back);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(back.Map.get()), 4), "wxyz");

    // A failed save leaves no partial file behind.
    streamOnly.failAfterWriting = true;
    EXPECT_EQ(MessageOf<ELinearBitmap>([&] { streamOnly.SaveToFile(dir.File("b.raw"), "RAW", b); }), "disk trouble");
    EXPECT_FALSE(testutil::FileExists(dir.File("b.raw")));
    EXPECT_THROW(streamOnly.LoadFromFile(dir.File("missing.raw"), "RAW", back), EInOutError);
}

TEST(LoaderRegistry, LinearBitmapChoosesByExtension)
{
    testutil::TempDir dir;
    StreamOnlyLoader raw;
    AddLoader(&raw);
    TLinearBitmap b;
    b.New(4, 1, pf8bit);
    std::memcpy(b.Map.get(), "1234", 4);
    b.SaveToFile(dir.File("pic.Raw"));
    TLinearBitmap c;
    c.LoadFromFile(dir.File("pic.Raw"));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(c.Map.get()), 4), "1234");

    // An unknown extension raises before anything is cleared.
    EXPECT_EQ(MessageOf<EUnsupportedFileFormat>([&] { c.LoadFromFile(dir.File("image.tif")); }),
              "Unsupported file format: TIF");
    EXPECT_TRUE(c.Present);
    EXPECT_EQ(MessageOf<EUnsupportedFileFormat>([&] { b.SaveToFile(dir.File("noext")); }),
              "Unsupported file format: ");
    TMemStream mem;
    b.SaveToStream(mem, "RAW");
    mem.Seek(0);
    TLinearBitmap d;
    d.LoadFromStream(mem, "raw");
    EXPECT_EQ(std::string(reinterpret_cast<char *>(d.Map.get()), 4), "1234");
    BitmapLoaders.Remove(&raw);
    EXPECT_THROW(d.LoadFromStream(mem, "RAW"), EUnsupportedFileFormat);
}

#include "ResourceUsage.h"
#include "TestHelpers.h"
#include "TestUtil.h"
#include "imaging/BufStream.h"
#include "imaging/Deflate.h"
#include "imaging/DynamicLists.h"
#include "imaging/FileUtils.h"
#include "imaging/HostStream.h"
#include "imaging/StreamUtils.h"

#include <QBuffer>

#include <cerrno>
#include <climits>
#include <functional>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace imaging;
using namespace itest;

TEST(FileStream, OpenFailuresModesAndHandles)
{
    testutil::TempDir dir;
    const std::string name = dir.File("a.bin");
    EXPECT_EQ(MessageOf<EInOutError>([&] { TFileStream s(name, fmCreate); }),
              "Either read, write or full access must be specified in call to CreateFile");
    EXPECT_EQ(MessageOf<EInOutError>([&] { TFileStream s(name, 9); }), "Error opening \"" + name + "\" - No such file or directory");
    EXPECT_FALSE(testutil::FileExists(name)); // nothing created by the failures
    errno = EMFILE; // an invalid handle raises the error of the call that failed to give one
    EXPECT_EQ(MessageOf<EInOutError>([] { TFileStream::CreateFromHandle(-1); }), std::strerror(EMFILE));
    {
        TFileStream w(name, 7);
        EXPECT_EQ(w.Write("0123456789", 10), 10);
        EXPECT_EQ(w.Size() + w.Position(), 20);
        w.Seek(4);
        w.Truncate();
        EXPECT_EQ(w.Size(), 4);
        EXPECT_EQ(MessageOf<EInOutError>([&] { w.Seek(-1); }), "Error moving file pointer - Invalid argument");
    }
    TFileStream r(name, 9);
    char buf[10] = {};
    EXPECT_EQ(MessageOf<EInOutError>([&] { r.Read(buf, 10); }), "Read less than expected");
    r.Seek(0);
    r.SetNoDataExcept(false);
    EXPECT_EQ(r.Read(buf, 10), 4);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_TRUE(r.EndOfStream());
    EXPECT_EQ(MessageOf<EInOutError>([&] { r.Write("x", 1); }).rfind("Error writing to stream - ", 0), 0u);
    TFileStream gone(dir.File("gone.bin"), 7);
    gone.Write("abc", 3);
    gone.CloseAndDelete();
    EXPECT_FALSE(testutil::FileExists(dir.File("gone.bin")));
    const int fd = ::open(dir.File("h.bin").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    auto adopted = TFileStream::CreateFromHandle(fd);
    adopted->Write("xyz", 3);
    adopted.reset(); // closes the descriptor it owns
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
    EXPECT_EQ(testutil::ReadFile(dir.File("h.bin")), "xyz");
}

// A socket of packets delivers one per read: the file stream keeps reading until it has all it asked for.
TEST(FileStream, ReadsLoopOverShortCounts)
{
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
    ASSERT_EQ(::write(fds[1], "abcde", 5) + ::write(fds[1], "fghij", 5), 10);
    ::close(fds[1]);
    auto reader = TFileStream::CreateFromHandle(fds[0]);
    char buf[12] = {};
    EXPECT_EQ(reader->Read(buf, 10), 10);
    EXPECT_EQ(std::string(buf, 10), "abcdefghij");
    EXPECT_EQ(MessageOf<EInOutError>([&] { reader->Read(buf, 1); }), "Read less than expected");
}

// Offsets are 64-bit inside; the 32-bit interfaces raise where a value does not fit.
TEST(FileStream, LargeFilesRaiseInsteadOfWrapping)
{
    testutil::TempDir dir;
    TFileStream s(dir.File("sparse.bin"), 7);
    ASSERT_EQ(::ftruncate(s.Handle, 3LL << 30), 0); // sparse: takes no disk space
    const std::string tooLarge = "IO-error: Value too large for defined data type";
    EXPECT_EQ(MessageOf<EInOutError>([&] { s.Size(); }), tooLarge);
    EXPECT_EQ(s.Available(), INT_MAX); // at least that much, as a hint
    EXPECT_FALSE(s.EndOfStream());
    ASSERT_GE(::lseek(s.Handle, 5LL << 29, SEEK_SET), 0);
    EXPECT_EQ(MessageOf<EInOutError>([&] { s.Position(); }), tooLarge);
    s.Seek(INT_MAX);
    EXPECT_EQ(s.Position(), INT_MAX);
}

// The buffered reader decides about short reads itself: arming its own flag must not re-arm the next stream, whose last block
// is naturally short.
TEST(BufferedStream, ShortReadsAndItsOwnNoDataExcept)
{
    char buf[10] = {};
    for (bool armed : {true, false}) {
        ScriptedStream next("abcdef");
        TBufferedStream b(4, 0, &next);
        b.SetNoDataExcept(armed);
        EXPECT_FALSE(next.NoDataExcept);
        EXPECT_EQ(b.Read(buf, 2), 2);
        if (armed) {
            EXPECT_EQ(MessageOf<EInOutError>([&] { b.Read(buf, 5); }), "Read less than expected");
            EXPECT_EQ(std::string(buf, 4), "cdef"); // delivered before raising
        } else {
            EXPECT_EQ(b.Read(buf, 10), 4);
        }
    }
    ScriptedStream next("0123456789"), off("x");
    off.NoDataExcept = false;
    {
        TBufferedStream b(8, 0, &next), o(8, 0, &off);
        EXPECT_TRUE(b.ReadCheck && !o.ReadCheck); // takes the next stream's setting
        EXPECT_EQ(b.Read(buf, 3), 3);
        EXPECT_EQ(b.Read(buf, 7), 7); // refill gets a short block of 2: no error
        EXPECT_EQ(std::string(buf, 7), "3456789");
        o.SetNoDataExcept(true);
    }
    EXPECT_TRUE(next.NoDataExcept); // given back on destruction as it was
    EXPECT_FALSE(off.NoDataExcept);
}

// Bad sizes are refused; a next stream that takes fewer bytes than offered would silently lose data.
TEST(BufferedStream, BufferSizesAndShortWritesOfNext)
{
    ScriptedStream next("abc");
    EXPECT_EQ(MessageOf<EStreamCreate>([&] { TBufferedStream b(1, 0, &next); }), "Invalid buffer size");
    EXPECT_EQ(MessageOf<EStreamCreate>([&] { TBufferedStream b(0, -5, &next); }), "Invalid buffer size");
    EXPECT_TRUE(next.NoDataExcept); // a refused construction leaves next alone
    TBufferedStream pass(0, 0, &next);
    pass.Write("zz", 2);
    EXPECT_EQ(next.written_, "zz"); // straight through, nothing held back
    EXPECT_EQ(pass.Read(next.written_.data(), 2), 2);
    ScriptedStream five, one;
    five.maxWrite_ = 5;
    one.maxWrite_ = 1;
    auto b = std::make_unique<TBufferedStream>(0, 8, &five), c = std::make_unique<TBufferedStream>(0, 8, &one);
    EXPECT_EQ(b->Write("abc", 3), 3);
    EXPECT_EQ(MessageOf<EInOutError>([&] { b->Write("0123456789", 10); }), "Read less than expected");
    c->Write("abc", 3);
    EXPECT_EQ(MessageOf<EInOutError>([&] { FreeFilterChain(std::move(c)); }), "Read less than expected");
}

TEST(FreeFilterChain, FinishesOutermostFirstAndFreesEverything)
{
    std::vector<std::string> log;
    auto mid = std::make_unique<LoggingFilter>(std::make_unique<ScriptedStream>("", &log, "file"), &log, "mid");
    FreeFilterChain(std::make_unique<LoggingFilter>(std::move(mid), &log, "outer"));
    EXPECT_EQ(log, (std::vector<std::string>{"finish outer", "finish mid", "finish file", "free outer", "free mid", "free file"}));
    log.clear();
    auto o = std::make_unique<LoggingFilter>(std::make_unique<ScriptedStream>("", &log, "file"), &log, "outer");
    o->failFinish_ = true;
    EXPECT_EQ(MessageOf<EInOutError>([&] { FreeFilterChain(std::move(o)); }), "finish failed outer");
    EXPECT_EQ(log, (std::vector<std::string>{"finish outer", "finish file", "free outer", "free file"}));
    FreeFilterChain(nullptr);
}

// An inflater after its final block claims Available > 0 but delivers nothing: copies stop and give the source's flag back,
// also on the exception path.
TEST(CopyFrom, StopsWhenNothingIsReadAndRestoresTheFlag)
{
    ScriptedStream source("abcdef"), failing(std::string(10000, 'x')), src("0123456789"), shortDest;
    source.extraAvailable_ = 100;
    TMemStream dest;
    dest.CopyFrom(source);
    EXPECT_EQ(dest.Size(), 6);
    EXPECT_TRUE(source.NoDataExcept);
    failing.throwOnRead_ = 1;
    EXPECT_EQ(MessageOf<EInOutError>([&] { dest.CopyFrom(failing); }), "scripted failure");
    EXPECT_TRUE(failing.NoDataExcept);
    shortDest.maxWrite_ = 3;
    EXPECT_EQ(MessageOf<EInOutError>([&] { shortDest.CopyFrom(src); }), "Read less than expected");
    ScriptedStream bounded("0123456789"), liar("ab");
    bounded.NoDataExcept = liar.NoDataExcept = false;
    TMemStream out;
    EXPECT_EQ(CopyStreamData(bounded, &out, 4), 4);
    EXPECT_EQ(CopyStreamData(bounded, nullptr, 3), 3); // skipped
    EXPECT_EQ(CopyStreamData(bounded, &out, 100), 3);
    EXPECT_EQ(AllOf(out), (Bytes{'0', '1', '2', '3', '7', '8', '9'}));
    liar.extraAvailable_ = 50;
    EXPECT_EQ(CopyStreamData(liar, nullptr, 1000), 2); // terminates
}

TEST(HostStreams, SeekRulesAndAvailable)
{
    TMemStream mem;
    mem.Write("0123456789", 10);
    THostStream plain(mem);
    EXPECT_FALSE(mem.NoDataExcept); // Qt asks for more than there is
    EXPECT_EQ(MessageOf<EStreamError>([&] { plain.Seek(0, 0); }), "Seeking not supported");
    EXPECT_FALSE(plain.seek(0));
    // Qt sizes its reads by bytesAvailable(): each byte left counts once.
    char buf[4];
    mem.Seek(6);
    EXPECT_EQ(plain.bytesAvailable(), 4);
    ASSERT_EQ(plain.read(buf, 3), 3);
    EXPECT_EQ(plain.bytesAvailable(), 1);
    // Qt cannot take exceptions through its frames: a failure becomes Qt's error result.
    ScriptedStream failing("0123456789");
    failing.throwOnRead_ = 0;
    THostStream host(failing);
    EXPECT_EQ(host.read(buf, 4), -1);
    EXPECT_EQ(host.errorString(), QString("scripted failure"));
    EXPECT_EQ(host.read(buf, 4), 4); // the next read works again
    QBuffer buffer; // and library code writes into a Qt device
    buffer.open(QIODevice::ReadWrite);
    THostFilterStream filter(buffer);
    filter.Write("0123456789", 10);
    filter.Seek(4);
    filter.Truncate();
    EXPECT_EQ(filter.Size() * 100 + filter.Position() * 10 + filter.Available(), 440);
    EXPECT_EQ(MessageOf<EInOutError>([&] { filter.Read(buf, 1); }), "Read less than expected");
    EXPECT_EQ(MessageOf<EStreamError>([&] { filter.Seek(-1); }), "Error moving stream pointer");
}

TEST(StreamClass, AssignmentAndFileUtils)
{
    struct Thing : TStreamClass {
        const char *ClassName() const override { return "TThing"; }
    } thing;
    struct Other : TAssignObject {
        const char *ClassName() const override { return "TOther"; }
    } other;
    // Two classes that know nothing of each other end in the message, not in endless hand-overs.
    EXPECT_EQ(MessageOf<platform::Exception>([&] { thing.Assign(other); }), "Cannot assign TOther to TThing");
    EXPECT_EQ(MessageOf<platform::Exception>([&] { thing.AssignTo(other); }), "Cannot assign TThing to TOther");
    for (auto [in, out] : {std::pair{"", ""}, {"C:\\data\\", "C:\\data\\"}, {"/data", "/data/"}})
        EXPECT_EQ(AddBackslash(in), out) << in;
}

TEST(MemStream, SeekBoundsErrorsAndFreshChains)
{
    TMemStream s;
    s.Write("abcdef", 6);
    s.Seek(6);
    EXPECT_EQ(MessageOf<EInOutError>([&] { s.Seek(7); }), "Error moving stream pointer");
    EXPECT_EQ(MessageOf<EInOutError>([&] { s.Seek(-1); }), "Error moving stream pointer");
    char buf[5];
    s.Seek(4);
    EXPECT_EQ(MessageOf<EInOutError>([&] { s.Read(buf, 4); }), "Error reading from stream - TMemStream");
    EXPECT_EQ(s.Position(), 6); // the two bytes there were delivered
    s.SetNoDataExcept(false);
    EXPECT_EQ(s.Read(buf, 4), 0);
    // After Clear the first write starts a chain of its own; streams never share blocks.
    TMemStream b;
    s.Clear();
    EXPECT_EQ(s.BlockCount(), 0u);
    b.Write("other", 5);
    s.Write("xy", 2);
    EXPECT_EQ(s.BlockCount() + b.BlockCount(), 2u);
    s.Clear();
    TMemStream c;
    c.Write("c", 1);
    b.Seek(0);
    b.Read(buf, 5);
    EXPECT_EQ(std::string(buf, 5), "other");
}

// A negative count is a size that overflowed on its way to the read: it raises, even where short reads are allowed, instead of
// leaving the caller a buffer it never filled.
TEST(Streams, ReadOfANegativeCountRaises)
{
    testutil::TempDir dir;
    TFileStream file(dir.File("n.bin"), 7);
    file.Write("abc", 3);
    file.Seek(0);
    TMemStream mem;
    mem.Write("abc", 3);
    mem.Seek(0);
    TBufferedStream buffered(-1, 0, &mem);
    QBuffer qt;
    qt.open(QIODevice::ReadWrite);
    THostFilterStream host(qt);
    TDeflateStream inflater(&mem);
    char buf[4];
    for (TBaseStream *s : std::initializer_list<TBaseStream *>{&file, &mem, &buffered, &host, &inflater}) {
        s->SetNoDataExcept(false);
        EXPECT_EQ(MessageOf<EInOutError>([&] { s->Read(buf, INT_MIN); }), "Error reading from stream - Invalid argument")
            << s->ClassName();
        EXPECT_EQ(s->Read(buf, 0), 0);
    }
}

// A record list through filter streams, whose Available is only what they can tell: a valid list loads back whole, and a
// lying count still costs no more than the data that arrives.
TEST(DynamicList, LoadsThroughFilterStreamsAndBoundsALyingCount)
{
    Bytes records(1000 * 24);
    std::iota(records.begin(), records.end(), std::uint8_t(0));
    Bytes liar(records.begin(), records.begin() + 104);
    liar[0] = 0x00, liar[1] = 0xB4, liar[2] = 0xC4, liar[3] = 0x04; // 80,000,000 records, then 100 bytes
    for (const bool deflate : {true, false}) {
        // Writes through the filter, then returns a fresh reading filter over what was written.
        const auto through = [&](TMemStream &mem, const std::function<void(TBaseStream &)> &write) {
            std::unique_ptr<TBaseStream> w;
            if (deflate)
                w = std::make_unique<TDeflateStream>(&mem, 1);
            else
                w = std::make_unique<TBufferedStream>(0, -1, &mem);
            write(*w);
            w->Finish();
            w.reset();
            mem.Seek(0);
            if (deflate)
                return std::unique_ptr<TBaseStream>(std::make_unique<TDeflateStream>(&mem, 0));
            return std::unique_ptr<TBaseStream>(std::make_unique<TBufferedStream>(-1, 0, &mem));
        };
        SCOPED_TRACE(deflate ? "deflate" : "buffered");
        TDynamicList saved(24, nullptr), loaded(24, nullptr);
        saved.SetCount(1000);
        std::memcpy(saved.Data(), records.data(), records.size());
        TMemStream a, b, c; // outlive the filters over them
        std::unique_ptr<TBaseStream> in;
        in = through(a, [&](TBaseStream &s) { saved.SaveToStream(s); });
        loaded.LoadFromStream(*in);
        ASSERT_EQ(loaded.Count, 1000);
        EXPECT_EQ(std::memcmp(loaded.Data(), records.data(), records.size()), 0);

        in = through(b, [&](TBaseStream &s) { s.Write(liar.data(), static_cast<int>(liar.size())); });
        {
            const testutil::TPeakMemory peak;
            EXPECT_EQ(MessageOf<EInOutError>([&] { loaded.LoadFromStream(*in); }), "Read less than expected");
            EXPECT_LT(peak.Bytes(), 16 << 20);
        }
        EXPECT_EQ(loaded.Count, 0);
        in = through(c, [&](TBaseStream &s) { s.Write(liar.data(), static_cast<int>(liar.size())); });
        in->SetNoDataExcept(false); // the whole records that arrived are kept
        loaded.LoadFromStream(*in);
        ASSERT_EQ(loaded.Count, 4);
        EXPECT_EQ(std::memcmp(loaded.Data(), records.data() + 4, 96), 0);
        EXPECT_LE(loaded.Capacity, 65536 / 24 + 1);
    }
}

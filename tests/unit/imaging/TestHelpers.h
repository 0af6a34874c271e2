#pragma once
// Helpers shared by the imaging tests: exception texts, scripted streams, test data generators and zlib as the independent
// peer.
#include "imaging/LinarBitmap.h"
#include "imaging/LinearGraphic.h"
#include "imaging/MemStream.h"
#include "platform/gui/Graphic.h"

#include <QBuffer>

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace itest {

using Bytes = std::vector<std::uint8_t>;
inline constexpr const char *kNoException = "<no exception>";

// The message of the E that `f` raises, or "<no exception>"; other types pass through.
template <typename E = std::exception, typename F> std::string MessageOf(F &&f)
{
    try {
        f();
    } catch (const E &e) {
        return e.what();
    }
    return kNoException;
}

inline Bytes PixelsOf(const imaging::TLinearBitmap &b) { return Bytes(b.Map.get(), b.Map.get() + b.Size); }

// A new bitmap holding `pixels` from its first byte on (the rest zero).
inline std::unique_ptr<imaging::TLinearBitmap> NewBitmap(int w, int h, imaging::TPixelFormat pf, const Bytes &pixels = {})
{
    auto b = std::make_unique<imaging::TLinearBitmap>();
    b->New(w, h, pf);
    std::copy(pixels.begin(), pixels.end(), b->Map.get());
    return b;
}

// As MessageOf, with "" for success.
template <typename F> std::string ErrorOf(F &&f)
{
    const std::string t = MessageOf(f);
    return t == kNoException ? "" : t;
}

template <typename C> std::unique_ptr<imaging::TMemStream> MemOf(const C &bytes)
{
    auto m = std::make_unique<imaging::TMemStream>();
    m->Write(bytes.data(), static_cast<int>(bytes.size()));
    m->Seek(0);
    return m;
}

inline Bytes AllOf(imaging::TMemStream &m)
{
    Bytes out(static_cast<std::size_t>(m.Size()));
    m.Seek(0);
    if (!out.empty())
        m.Read(out.data(), m.Size());
    return out;
}

// What `loader` writes of `b` as `ext`.
template <typename L> Bytes SaveWith(L &&loader, const imaging::TLinearBitmap &b, const std::string &ext)
{
    imaging::TMemStream mem;
    loader.SaveToStream(mem, ext, b);
    return AllOf(mem);
}

// The error text of reading `file` into `b` as `ext`, or "".
template <typename L, typename C> std::string LoadWith(L &&loader, const C &file, imaging::TLinearBitmap &b, const std::string &ext)
{
    return ErrorOf([&] { loader.LoadFromStream(*MemOf(file), ext, b); });
}

// `v` as `n` little-endian bytes at `at`, growing `b` as needed.
inline void PutLE(Bytes &b, std::size_t at, std::uint64_t v, int n)
{
    b.resize(std::max(b.size(), at + static_cast<std::size_t>(n)));
    for (int i = 0; i < n; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Through the picture class registered for `ext` (a linear graphic): the bytes it writes of `b` and the pixels it reads back
// from them.
inline std::pair<Bytes, Bytes> PictureRoundTrip(const std::string &ext, const imaging::TLinearBitmap &b)
{
    const auto format = platform::FindFileFormat(ext);
    EXPECT_TRUE(format) << ext;
    if (!format)
        return {};
    auto g = format->Create(), again = format->Create();
    dynamic_cast<imaging::TLinearGraphic &>(*g).Image.Assign(b);
    QBuffer buf;
    buf.open(QIODevice::ReadWrite);
    g->SaveToStream(buf);
    buf.seek(0);
    again->LoadFromStream(buf);
    return {Bytes(buf.data().begin(), buf.data().end()), PixelsOf(dynamic_cast<imaging::TLinearGraphic &>(*again).Image)};
}

// Bytes in memory; can cap each Write, claim more Available than it has, throw on the n-th read, and log Finish calls and its
// destruction.
class ScriptedStream : public imaging::TBaseStream {
public:
    explicit ScriptedStream(std::string data = {}, std::vector<std::string> *log = nullptr, std::string name = {})
        : data_(std::move(data)), log_(log), name_(std::move(name))
    {
        CanRead = CanWrite = true;
    }
    ~ScriptedStream() override { Log("free "); }
    int Write(const void *Buffer, int Count) override
    {
        const int take = std::max(0, maxWrite_ >= 0 ? std::min(Count, maxWrite_) : Count);
        return written_.append(static_cast<const char *>(Buffer), static_cast<std::size_t>(take)), take;
    }
    int Read(void *Buffer, int Count) override
    {
        if (throwOnRead_ >= 0 && reads_++ == throwOnRead_)
            throw imaging::EInOutError("scripted failure");
        const int n = std::max(0, std::min<int>(Count, static_cast<int>(data_.size() - pos_)));
        std::memcpy(Buffer, data_.data() + pos_, static_cast<std::size_t>(n));
        pos_ += static_cast<std::size_t>(n);
        if (n < Count && NoDataExcept)
            throw imaging::EInOutError(imaging::kReadLessThanExpected);
        return n;
    }
    int Available() override { return static_cast<int>(data_.size() - pos_) + extraAvailable_; }
    void Finish() override { Log("finish "); }
    void Log(const std::string &what)
    {
        if (log_)
            log_->push_back(what + name_);
    }
    int maxWrite_ = -1, extraAvailable_ = 0, throwOnRead_ = -1, reads_ = 0;
    std::string data_, written_;
    std::size_t pos_ = 0;

private:
    std::vector<std::string> *log_;
    std::string name_;
};

// A filter that only logs Finish (failing if told to) and its destruction.
struct LoggingFilter : imaging::TFilterStream {
    LoggingFilter(std::unique_ptr<imaging::TBaseStream> next, std::vector<std::string> *log, std::string name)
        : TFilterStream(std::move(next)), log_(log), name_(std::move(name))
    {
    }
    ~LoggingFilter() override { log_->push_back("free " + name_); }
    void Finish() override
    {
        log_->push_back("finish " + name_);
        if (failFinish_)
            throw imaging::EInOutError("finish failed " + name_);
    }
    bool failFinish_ = false;
    std::vector<std::string> *log_;
    std::string name_;
};

inline Bytes RandomData(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes v(n);
    for (auto &b : v)
        b = static_cast<std::uint8_t>(rng());
    return v;
}
inline std::string RandomBytes(std::size_t n, unsigned seed)
{
    const Bytes v = RandomData(n, seed);
    return std::string(v.begin(), v.end());
}

// Screenshot-like bytes: runs, gradient rows, words, copies of earlier data and noise.
inline Bytes MixedData(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes v;
    static const char *words[] = {"the ", "window ", "capture ", "Image_", "00042", ".png ", "\r\n", "settings "};
    while (v.size() < n) {
        const unsigned kind = rng() % 5;
        if (kind == 0) {
            const std::size_t len = rng() % 2000;
            v.insert(v.end(), len, static_cast<std::uint8_t>(rng()));
        } else if (kind == 1) {
            const std::size_t w = 50 + rng() % 500;
            const auto r = static_cast<std::uint8_t>(rng()), g = static_cast<std::uint8_t>(rng());
            for (std::size_t i = 0; i < w; ++i)
                v.insert(v.end(), {static_cast<std::uint8_t>(r + i / 7), g, static_cast<std::uint8_t>(i)});
        } else if (kind == 2) {
            for (int i = 0; i < 100; ++i)
                for (const char *w = words[rng() % 8]; *w; ++w)
                    v.push_back(static_cast<std::uint8_t>(*w));
        } else if (kind == 3 && v.size() > 10) {
            const std::size_t from = rng() % v.size(), len = std::min<std::size_t>(rng() % 3000, v.size() - from);
            for (std::size_t i = 0; i < len; ++i)
                v.push_back(v[from + i]);
        } else if (kind == 4) {
            for (std::size_t len = rng() % 700; len > 0; --len)
                v.push_back(static_cast<std::uint8_t>(rng()));
        }
    }
    v.resize(n);
    return v;
}

// Raw inflate through zlib; the whole stream must be used, nothing more.
inline Bytes ZlibInflateRaw(const Bytes &in, std::size_t expected)
{
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    Bytes out(expected + 16);
    z.next_in = const_cast<Bytef *>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END) << (z.msg ? z.msg : "");
    EXPECT_EQ(z.avail_in, 0u);
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

// zlib deflate; `flushEvery` > 0 puts a flush of `flushKind` after every that many bytes.
inline Bytes ZlibDeflate(const Bytes &in, int level, int strategy, int windowBits, std::size_t flushEvery = 0,
                         int flushKind = Z_SYNC_FLUSH)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, windowBits, 8, strategy), Z_OK);
    Bytes out(deflateBound(&z, static_cast<uLong>(in.size())) + 1024 + (flushEvery ? in.size() / flushEvery * 16 : 0));
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const std::size_t step = flushEvery ? flushEvery : in.size();
    std::size_t pos = 0;
    do {
        const std::size_t n = std::min(step, in.size() - pos);
        z.next_in = const_cast<Bytef *>(in.data() + pos);
        z.avail_in = static_cast<uInt>(n);
        pos += n;
        const int rc = deflate(&z, pos == in.size() ? Z_FINISH : flushKind);
        EXPECT_TRUE(rc == Z_OK || rc == Z_STREAM_END);
    } while (pos < in.size());
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

} // namespace itest

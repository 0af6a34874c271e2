#pragma once
// GIF test helpers: bytes, LZW code packing, loading with warnings, a plain encoder.
#include "gif/GIFImage.h"

#include "ResourceUsage.h"

#include <QBuffer>

#include <memory>
#include <string>
#include <vector>

namespace gif_test {

using Strings = std::vector<std::string>;
using Codes = std::vector<std::pair<int, std::vector<int>>>;
using Pixels = std::vector<std::uint8_t>;

inline QByteArray Bytes(std::initializer_list<int> b)
{
    QByteArray a;
    for (int v : b)
        a.append(char(v));
    return a;
}

// The code size, then the codes ((width, codes) groups) LSB first in sub-blocks, then 0.
inline QByteArray Data(int codeSize, const Codes &codes)
{
    QByteArray raw, out(1, char(codeSize));
    std::uint32_t acc = 0, bits = 0;
    for (const auto &[width, list] : codes)
        for (int code : list)
            for (acc |= std::uint32_t(code) << bits, bits += width; bits >= 8; acc >>= 8, bits -= 8)
                raw.append(char(acc));
    raw.append(bits ? QByteArray(1, char(acc)) : QByteArray());
    for (qsizetype at = 0; at < raw.size(); at += 255)
        out += char(std::min<qsizetype>(255, raw.size() - at)) + raw.mid(at, 255);
    return out + '\0';
}

// Only literal codes; a clear code comes before the table would widen them.
inline QByteArray PlainLZW(const Pixels &pixels, int bits = 2)
{
    const int size = std::max(2, bits), clear = 1 << size;
    std::vector<int> codes{clear};
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        if (i > 0 && i % std::size_t(clear - 2) == 0)
            codes.push_back(clear);
        codes.push_back(pixels[i]);
    }
    codes.push_back(clear + 1);
    return Data(size, {{size + 1, codes}});
}

// The plain writer as the frames' encoder while it lives; rows in interlace order.
struct PlainEncoder {
    PlainEncoder()
    {
        gif::SetGIFCompressor([](gif::TGIFSubImage &f, QIODevice &s) {
            Pixels rows;
            const int w = f.Width(), il = f.Interlaced(), first[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
            for (int pass = il ? 0 : 3; pass < 4; ++pass)
                for (int y = il ? first[pass] : 0; y < f.Height(); y += il ? step[pass] : 1)
                    rows.insert(rows.end(), f.Data() + std::size_t(y) * w, f.Data() + std::size_t(y + 1) * w);
            s.write(PlainLZW(rows, 8));
        });
    }
    ~PlainEncoder() { gif::SetGIFCompressor(nullptr); }
};

// The message f() raises, or "".
template <typename F> std::string MessageOf(F &&f)
{
    try { f(); } catch (const platform::Exception &e) { return e.what(); }
    return "";
}

// A read-only device over a copy of the bytes.
struct Reader : QBuffer {
    explicit Reader(const QByteArray &a) { setData(a), open(QIODevice::ReadOnly); }
};

// An image loaded from bytes, with its warnings and error message.
struct Load {
    std::unique_ptr<gif::TGIFImage> Image = std::make_unique<gif::TGIFImage>();
    Strings Warnings;
    std::string Error;
    explicit Load(const QByteArray &bytes)
    {
        Image->OnWarning = [this](const void *, int, const std::string &m) { Warnings.push_back(m); };
        Reader in(bytes);
        Error = MessageOf([&] { Image->LoadFromStream(in); });
    }
    Load(Load &&) = delete; // the warning handler holds this
};

// An image, frame, colour map or extension as it writes itself.
template <typename T> QByteArray Save(T &item)
{
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    item.SaveToStream(buf);
    return buf.data();
}

// "GIF89a", a WxH screen and a 2-colour global table (black, white); an
// image descriptor at 0,0; a whole frame of one pixel value.
inline QByteArray Header(int w = 2, int h = 2, const char *version = "89a")
{
    return QByteArray("GIF") + version + Bytes({w & 255, w >> 8, h & 255, h >> 8, 0x80, 0, 0, 0, 0, 0, 255, 255, 255});
}
inline QByteArray Descriptor(int w, int h, int packed = 0) { return Bytes({0x2C, 0, 0, 0, 0, w, w >> 8, h, h >> 8, packed}); }
inline QByteArray Frame(int w, int h, std::uint8_t v = 1) { return Descriptor(w, h) + PlainLZW(Pixels(std::size_t(w * h), v)); }

using PeakMemory = testutil::TPeakMemory;
} // namespace gif_test

#pragma once
// Helpers of the GIF tests: byte strings, loading with recorded warnings,
// LZW code packing and a plain (non-compressing) image data writer that
// stands in for the encoders when a test saves frames.
#include "gif/GIFImage.h"

#include <QBuffer>
#include <QByteArray>

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace gif_test {

inline QByteArray Bytes(std::initializer_list<int> b)
{
    QByteArray a;
    for (int v : b)
        a.append(char(v));
    return a;
}

// Packs (code, width) pairs least significant bit first into data
// sub-blocks of at most BlockSize bytes, then the 0 terminator.
inline QByteArray PackCodes(const std::vector<std::pair<int, int>> &codes, int BlockSize = 255)
{
    QByteArray raw;
    std::uint32_t acc = 0;
    int bits = 0;
    for (auto [code, width] : codes) {
        acc |= std::uint32_t(code) << bits;
        bits += width;
        while (bits >= 8) {
            raw.append(char(acc & 255));
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0)
        raw.append(char(acc & 255));
    QByteArray out;
    for (qsizetype at = 0; at < raw.size(); at += BlockSize) {
        const auto n = std::min<qsizetype>(BlockSize, raw.size() - at);
        out.append(char(n));
        out.append(raw.mid(at, n));
    }
    out.append('\0');
    return out;
}

// Image data of the given pixels with only literal codes (a clear code
// before the table would widen the codes).
inline QByteArray PlainLZW(const std::uint8_t *pixels, std::int64_t n, int BitsPerPixel)
{
    const int size = std::max(2, BitsPerPixel);
    const int clear = 1 << size;
    std::vector<std::pair<int, int>> codes{{clear, size + 1}};
    int run = 0;
    for (std::int64_t i = 0; i < n; ++i) {
        if (run == clear - 2) {
            codes.push_back({clear, size + 1});
            run = 0;
        }
        codes.push_back({pixels[i], size + 1});
        ++run;
    }
    codes.push_back({clear + 1, size + 1});
    QByteArray out(1, char(size));
    out.append(PackCodes(codes));
    return out;
}

// Installs the plain writer as the frames' encoder for the test's duration.
class PlainEncoder {
public:
    PlainEncoder()
    {
        gif::SetGIFCompressor([](gif::TGIFSubImage &f, QIODevice &s) {
            // Rows go in the order the interlace bit asks for.
            std::vector<std::uint8_t> rows;
            const int w = f.Width(), h = f.Height();
            static const int first[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
            for (int pass = f.Interlaced() ? 0 : 3; pass < 4; ++pass)
                for (int y = f.Interlaced() ? first[pass] : 0; y < h; y += f.Interlaced() ? step[pass] : 1)
                    rows.insert(rows.end(), f.Data() + std::size_t(y) * w, f.Data() + std::size_t(y + 1) * w);
            s.write(PlainLZW(rows.data(), std::int64_t(rows.size()), 8));
        });
    }
    ~PlainEncoder() { gif::SetGIFCompressor(nullptr); }
};

struct Loaded {
    std::unique_ptr<gif::TGIFImage> Image = std::make_unique<gif::TGIFImage>();
    std::vector<std::string> Warnings;
    std::string Error; // empty when the load succeeded
};

inline Loaded Load(const QByteArray &bytes)
{
    Loaded r;
    auto *w = &r.Warnings;
    r.Image->OnWarning = [w](const void *, int, const std::string &m) { w->push_back(m); };
    QByteArray copy = bytes;
    QBuffer buf(&copy);
    buf.open(QIODevice::ReadOnly);
    try {
        r.Image->LoadFromStream(buf);
    } catch (const gif::GIFException &e) {
        r.Error = e.what();
    }
    return r;
}

inline QByteArray Save(gif::TGIFImage &image)
{
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    image.SaveToStream(buf);
    return buf.data();
}

template <typename T>
QByteArray SaveItem(T &item)
{
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    item.SaveToStream(buf);
    return buf.data();
}

// "GIF89a", a 2-colour global table (black, white) and a WxH screen.
inline QByteArray Header(int w = 2, int h = 2, const char *version = "89a")
{
    QByteArray a = QByteArray("GIF") + version;
    a += Bytes({w & 255, w >> 8, h & 255, h >> 8, 0x80, 0, 0, 0, 0, 0, 255, 255, 255});
    return a;
}

// An image descriptor at 0,0 of WxH with no local table.
inline QByteArray Descriptor(int w, int h, int packed = 0)
{
    return Bytes({0x2C, 0, 0, 0, 0, w & 255, w >> 8, h & 255, h >> 8, packed});
}

// A whole frame of WxH pixels with plain data.
inline QByteArray Frame(int w, int h, std::uint8_t value = 1)
{
    std::vector<std::uint8_t> px(std::size_t(w * h), value);
    return Descriptor(w, h) + PlainLZW(px.data(), std::int64_t(px.size()), 2);
}

} // namespace gif_test

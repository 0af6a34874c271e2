// The LZW decoder of the image data. Every string of the table is a copy of
// an earlier stretch of the output (the previous string plus one byte), so a
// code is decoded by one copy from the output itself: no prefix chains to
// walk, no per-pixel stack, and no way for a corrupt stream to build a cycle.
#include "gif/GIFSubImage.h"

#include <QIODevice>

#include <array>
#include <cstring>
#include <vector>

namespace gif {

namespace {

constexpr int MaxCodes = 4096;

class TLZWDecoder {
public:
    TLZWDecoder(QIODevice &stream, const std::function<void(const std::string &)> &warn) : s_(stream), warn_(warn) {}

    // Decodes up to n pixels into out; returns how many were written.
    std::int64_t Run(std::uint8_t *out, std::int64_t n, int setCodeSize);
    // Skips what is left of the data up to and including the terminator.
    void Drain();

private:
    bool Refill();
    int GetCode(int size);

    QIODevice &s_;
    const std::function<void(const std::string &)> &warn_;
    std::uint8_t block_[256];
    int pos_ = 0, len_ = 0;
    std::uint64_t acc_ = 0;
    int bits_ = 0;
    bool done_ = false; // the zero-length terminator has been read
    bool eof_ = false;  // the stream ended inside the data
};

bool TLZWDecoder::Refill()
{
    if (done_ || eof_)
        return false;
    const int n = GetByte(s_);
    if (n < 0) {
        eof_ = true;
        return false;
    }
    if (n == 0) {
        done_ = true;
        return false;
    }
    const auto got = s_.read(reinterpret_cast<char *>(block_), n);
    if (got < n) {
        warn_("Premature end of data");
        eof_ = true;
        if (got <= 0)
            return false;
    }
    pos_ = 0;
    len_ = int(got);
    return true;
}

inline int TLZWDecoder::GetCode(int size)
{
    // Codes may straddle any number of sub-blocks (1-byte blocks are legal).
    while (bits_ < size) {
        if (pos_ == len_ && !Refill()) {
            if (done_ && bits_ == 0)
                warn_("Decoder bit buffer under-run");
            return -1;
        }
        while (bits_ <= 56 && pos_ < len_) {
            acc_ |= std::uint64_t(block_[pos_++]) << bits_;
            bits_ += 8;
        }
    }
    const int code = int(acc_ & ((1u << size) - 1));
    acc_ >>= size;
    bits_ -= size;
    return code;
}

void TLZWDecoder::Drain()
{
    while (!done_ && !eof_) {
        const int n = GetByte(s_);
        if (n <= 0)
            break;
        if (s_.skip(n) != n)
            break;
    }
    done_ = true;
}

inline void CopyString(std::uint8_t *out, std::int64_t dst, std::int64_t src, int len)
{
    // src + len <= dst: the string was written before.
    if (len <= 16) {
        std::uint64_t a, b;
        std::memcpy(&a, out + src, 8);
        std::memcpy(&b, out + src + 8, 8);
        std::memcpy(out + dst, &a, 8);
        std::memcpy(out + dst + 8, &b, 8);
    } else {
        std::memcpy(out + dst, out + src, std::size_t(len));
    }
}

std::int64_t TLZWDecoder::Run(std::uint8_t *out, std::int64_t n, int setCodeSize)
{
    const int clear = 1 << setCodeSize;
    const int end = clear + 1;
    int codeSize = 0, maxCode = 0, next = 0;
    // Where each table string was last written, and its length (24 KiB on
    // the stack: nothing on the heap per frame).
    std::array<std::uint32_t, MaxCodes> start;
    std::array<std::uint16_t, MaxCodes> length;
    std::int64_t pos = 0;
    int old = -1;
    std::int64_t oldStart = 0;
    int oldLen = 0;
    const auto reset = [&] {
        codeSize = setCodeSize + 1;
        maxCode = 2 * clear;
        next = clear + 2;
        old = -1;
    };
    reset(); // the data starts with an implicit clear code

    while (pos < n) {
        const int code = GetCode(codeSize);
        if (code < 0)
            break;
        if (code == clear) {
            reset();
            continue;
        }
        if (code == end) // also right after a clear code: no data
            break;
        if (old < 0) {
            if (code > clear)
                Error("Circular decoder table entry");
            out[pos] = std::uint8_t(code);
            old = code;
            oldStart = pos++;
            oldLen = 1;
            continue;
        }
        const std::int64_t curStart = pos;
        int curLen;
        if (code < clear) {
            out[pos++] = std::uint8_t(code);
            curLen = 1;
        } else if (code < next || code == next) {
            // A code equal to the next free one is the previous string plus
            // its own first byte.
            const std::int64_t src = code < next ? std::int64_t(start[std::size_t(code)]) : oldStart;
            const int len = code < next ? length[std::size_t(code)] : oldLen;
            curLen = code < next ? len : len + 1;
            if (pos + curLen + 16 <= n) {
                CopyString(out, pos, src, len);
                if (code == next)
                    out[pos + len] = out[src];
                pos += curLen;
            } else {
                // The last string: only what fits.
                for (int i = 0; i < curLen && pos < n; ++i)
                    out[pos++] = i < len ? out[src + i] : out[src];
                if (pos >= n)
                    break;
            }
        } else {
            // A code beyond the table refers to a string not yet defined: the
            // stream is corrupt (this is what builds cyclic tables).
            Error("Circular decoder table entry");
        }
        if (next < MaxCodes) {
            start[std::size_t(next)] = std::uint32_t(oldStart);
            length[std::size_t(next)] = std::uint16_t(oldLen + 1);
            if (++next >= maxCode && maxCode < MaxCodes) {
                maxCode *= 2;
                ++codeSize;
            }
        }
        old = code;
        oldStart = curStart;
        oldLen = curLen;
    }
    return pos;
}

// Moves the rows from stream order (0, 8, 16, ..., 4, 12, ..., 2, 6, ...,
// 1, 3, ...) to their places, in place: each cycle of the permutation is
// walked with one spare row.
void Deinterlace(std::uint8_t *data, int width, int height)
{
    if (width <= 0 || height <= 0)
        return; // no rows to move (and no buffers to copy through)
    std::vector<int> target(static_cast<std::size_t>(height)); // stream row -> picture row
    int s = 0;
    static const int first[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int row = first[pass]; row < height; row += step[pass])
            target[std::size_t(s++)] = row;
    const std::size_t w = std::size_t(width);
    std::vector<std::uint8_t> spare(w);
    std::vector<std::uint8_t> held(w);
    std::vector<bool> done(static_cast<std::size_t>(height));
    for (int start = 0; start < height; ++start) {
        if (done[std::size_t(start)] || target[std::size_t(start)] == start)
            continue;
        // Carry row `start` to its place, that row's content to its place, ...
        std::memcpy(held.data(), data + std::size_t(start) * w, w);
        int at = start;
        do {
            const int to = target[std::size_t(at)];
            std::memcpy(spare.data(), data + std::size_t(to) * w, w);
            std::memcpy(data + std::size_t(to) * w, held.data(), w);
            held.swap(spare);
            done[std::size_t(at)] = true;
            at = to;
        } while (at != start);
    }
}

} // namespace

void DecodeLZW(QIODevice &Stream, std::uint8_t *Data, int Width, int Height, bool Interlaced,
               const std::function<void(const std::string &)> &Warn)
{
    int setCodeSize = GetByte(Stream);
    if (setCodeSize < 0)
        return;
    if (setCodeSize > 8)
        setCodeSize = 8;
    const std::int64_t n = std::int64_t(Width) * Height;
    TLZWDecoder decoder(Stream, Warn);
    try {
        decoder.Run(Data, n, setCodeSize);
        if (Interlaced && Height > 1)
            Deinterlace(Data, Width, Height);
    } catch (...) {
        decoder.Drain();
        throw;
    }
    // Whatever follows the last pixel belongs to this frame: skip it.
    decoder.Drain();
}

} // namespace gif

// The LZW decoder of the image data. In well-formed data every string of the
// table is a copy of an earlier stretch of the output (the previous string
// plus one byte), so a code is decoded by one copy from the output itself: no
// prefix chains to walk and no per-pixel stack. Codes that refer past the
// table (a first code after a clear that is no literal, a code beyond the
// next free entry) are taken as other readers take them: the first as a
// pixel value, the other as the previous string plus its first byte. From
// there up to the next clear code the table is walked as prefix chains, which
// such codes can make circular; a circle is an error.
#include "gif/GIFSubImage.h"

#include <QIODevice>

#include <algorithm>
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
    std::int64_t Decode(std::uint8_t *out, std::int64_t n, int setCodeSize);
    // Skips what is left of the data up to and including the terminator.
    void Drain();

private:
    // The table where a code referred past it, for the chain walk.
    struct TChainState {
        std::int64_t pos;
        int code, codeSize, maxCode, next, old, first;
        // Entries below `copied` are strings of earlier output (where and how
        // long); the later ones are prefix code and last byte, (0, 0) while
        // unset.
        int copied;
        std::array<std::uint32_t, MaxCodes> start;
        std::array<std::uint16_t, MaxCodes> length;
        std::array<std::uint16_t, MaxCodes> prefix;
        std::array<std::uint8_t, MaxCodes> suffix;
    };
    bool Refill();
    // Inlined into both loops below: it is most of the work per code.
    [[gnu::always_inline]] int GetCode(int size);
    // From pos on, fresh after a clear code, by copies of earlier output.
    // When a code refers past the table it fills Chains and sets its `code`
    // (-1 otherwise). Returns the new pixel position.
    std::int64_t RunCopies(std::uint8_t *out, std::int64_t n, std::int64_t pos, int setCodeSize, TChainState &Chains);
    // Goes on from Chains by walking prefix chains; true when a clear code
    // ended it, false at the end of the data or of the pixels.
    bool RunChains(std::uint8_t *out, std::int64_t n, int clear, TChainState &Chains);

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

bool TLZWDecoder::RunChains(std::uint8_t *out, std::int64_t n, int clear, TChainState &st)
{
    int code = st.code;
    const int end = clear + 1;
    // A string is gathered last byte first; a chain longer than the table
    // can only be a cycle.
    std::array<std::uint8_t, 2 * MaxCodes> stack;
    std::size_t sp = 0;
    const auto push = [&](std::uint8_t v) {
        if (sp == stack.size())
            Error("Circular decoder table entry");
        stack[sp++] = v;
    };
    for (bool have = true;; have = false) {
        if (!have) {
            if (st.pos >= n)
                return false;
            code = GetCode(st.codeSize);
        }
        if (code < 0 || code == end)
            return false;
        if (code == clear)
            return true;
        if (st.old < 0) {
            // The first code after a clear is a pixel value as it stands.
            out[st.pos++] = std::uint8_t(code);
            st.first = st.old = code;
            continue;
        }
        sp = 0;
        const int incode = code;
        if (code >= st.next) {
            push(std::uint8_t(st.first));
            code = st.old;
        }
        while (code >= clear) {
            const auto e = std::size_t(code);
            if (code > end && code < st.copied) {
                // All but the first byte from the output; the first ends the walk.
                for (std::size_t i = st.length[e]; i-- > 1;)
                    push(out[st.start[e] + i]);
                code = out[st.start[e]];
                break;
            }
            push(st.suffix[e]);
            if (st.prefix[e] == code)
                Error("Circular decoder table entry");
            code = st.prefix[e];
        }
        st.first = code; // a literal (an unset entry reads as prefix 0)
        push(std::uint8_t(st.first));
        if (st.next < MaxCodes) {
            st.prefix[std::size_t(st.next)] = std::uint16_t(st.old);
            st.suffix[std::size_t(st.next)] = std::uint8_t(st.first);
            if (++st.next >= st.maxCode && st.maxCode < MaxCodes) {
                st.maxCode *= 2;
                ++st.codeSize;
            }
        }
        st.old = incode;
        while (sp > 0 && st.pos < n)
            out[st.pos++] = stack[--sp];
    }
}

std::int64_t TLZWDecoder::RunCopies(std::uint8_t *out, std::int64_t n, std::int64_t pos, int setCodeSize,
                                    TChainState &Chains)
{
    const int clear = 1 << setCodeSize;
    const int end = clear + 1;
    int codeSize = 0, maxCode = 0, next = 0;
    // Where each table string was last written, and its length (24 KiB on
    // the stack: nothing on the heap per frame). Only copied out below, never
    // pointed to from outside: every pixel store would reload them.
    std::array<std::uint32_t, MaxCodes> start;
    std::array<std::uint16_t, MaxCodes> length;
    int old = -1;
    std::int64_t oldStart = 0;
    int oldLen = 0;
    int code = 0;
    const auto reset = [&] {
        codeSize = setCodeSize + 1;
        maxCode = 2 * clear;
        next = clear + 2;
        old = -1;
    };
    reset(); // the data starts with an implicit clear code
    Chains.code = -1;

    while (pos < n) {
        code = GetCode(codeSize);
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
                goto chains; // a first code that is no literal
            out[pos] = std::uint8_t(code);
            old = code;
            oldStart = pos++;
            oldLen = 1;
            continue;
        }
        {
            const std::int64_t curStart = pos;
            int curLen;
            if (code < clear) {
                out[pos++] = std::uint8_t(code);
                curLen = 1;
            } else if (code <= next) {
                // A code equal to the next free one is the previous string
                // plus its own first byte.
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
                goto chains; // a code beyond the next free entry
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
    }
    return pos;

chains:
    Chains.pos = pos;
    Chains.code = code;
    Chains.codeSize = codeSize;
    Chains.maxCode = maxCode;
    Chains.next = next;
    Chains.old = old;
    Chains.first = old < 0 ? code : out[oldStart];
    Chains.copied = old < 0 ? 0 : next;
    Chains.start = start;
    Chains.length = length;
    Chains.prefix.fill(0);
    for (int i = 0; i < MaxCodes; ++i)
        Chains.suffix[std::size_t(i)] = std::uint8_t(i < clear ? i : 0);
    return pos;
}

std::int64_t TLZWDecoder::Decode(std::uint8_t *out, std::int64_t n, int setCodeSize)
{
    std::int64_t pos = 0;
    TChainState st; // 36 KiB, filled only when a code refers past the table
    for (;;) {
        pos = RunCopies(out, n, pos, setCodeSize, st);
        if (st.code < 0)
            return pos;
        if (!RunChains(out, n, 1 << setCodeSize, st))
            return st.pos;
        pos = st.pos; // a clear code: copies again
    }
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
    const std::uint8_t fill = n > 0 ? Data[0] : 0;
    try {
        // Strings are copied in 16-byte strides: past the last decoded pixel
        // the fill byte comes back.
        const std::int64_t pos = decoder.Decode(Data, n, setCodeSize);
        std::fill(Data + pos, Data + std::min(n, pos + 16), fill);
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

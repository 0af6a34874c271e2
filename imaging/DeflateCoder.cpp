#include "imaging/DeflateCoder.h"

#include "imaging/Huffman.h"
#include "platform/core/Exceptions.h"

#include <algorithm>
#include <cstring>

namespace imaging {

namespace {

[[noreturn]] void BadData()
{
    throw platform::Exception("Error in compressed data");
}
[[noreturn]] void Truncated()
{
    throw platform::EInOutError("Read less than expected");
}
[[noreturn]] void BadCode()
{
    throw platform::EAssertionFailed("Invalid Huffman code");
}

// ---------------------------------------------------------------- tables

constexpr std::uint16_t LengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                          31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t LengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t DistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,    49,    65,    97,    129,
                                        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t DistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::uint8_t CodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Length 3..258 -> symbol, extra bits, extra value.
struct LengthCode {
    std::uint16_t Symbol;
    std::uint8_t ExtraBits;
    std::uint16_t Extra;
};
LengthCode CodeLength(unsigned length) noexcept
{
    if (length == 258)
        return {285, 0, 0};
    if (length <= 10)
        return {static_cast<std::uint16_t>(254 + length), 0, 0};
    unsigned e = 1;
    while (length >= (4u << (e + 1)) + 3)
        ++e;
    const unsigned base = (4u << e) + 3;
    return {static_cast<std::uint16_t>(261 + 4 * e + ((length - base) >> e)), static_cast<std::uint8_t>(e),
            static_cast<std::uint16_t>((length - base) & ((1u << e) - 1))};
}
// Distance 1..32768 -> symbol, extra bits, extra value.
LengthCode CodeDistance(unsigned distance) noexcept
{
    const unsigned d = distance - 1;
    if (d < 4)
        return {static_cast<std::uint16_t>(d), 0, 0};
    const unsigned e = static_cast<unsigned>(31 - __builtin_clz(d)) - 1;
    return {static_cast<std::uint16_t>(2 * (e + 1) + ((d >> e) & 1)), static_cast<std::uint8_t>(e),
            static_cast<std::uint16_t>(d & ((1u << e) - 1))};
}

void FillFixedLiteralCodes(THuffmanCodes &codes)
{
    codes.SetCount(288);
    auto set = [&](int from, int to, std::uint32_t first, int bits) {
        for (int s = from; s <= to; ++s) {
            codes.Codes[s].Length = static_cast<std::uint32_t>(bits);
            codes.Codes[s].Code = ReverseBits(first + static_cast<std::uint32_t>(s - from), bits);
        }
    };
    set(0, 143, 0x30, 8);
    set(144, 255, 0x190, 9);
    set(256, 279, 0, 7);
    set(280, 285, 0xC0, 8);
    codes.Codes[286] = THuffmanCode{};
    codes.Codes[287] = THuffmanCode{};
}

// Fixed-block codes, precomputed: literal code bits, and for every length
// the length code with its extra bits already appended.
struct FixedTables {
    std::uint32_t Lit[256];
    std::uint8_t LitBits[256];
    std::uint32_t Len[259];
    std::uint8_t LenBits[259];
    FixedTables()
    {
        THuffmanCodes c;
        FillFixedLiteralCodes(c);
        for (int s = 0; s < 256; ++s) {
            Lit[s] = c.Codes[s].Code;
            LitBits[s] = static_cast<std::uint8_t>(c.Codes[s].Length);
        }
        for (unsigned l = 3; l <= 258; ++l) {
            const LengthCode lc = CodeLength(l);
            const THuffmanCode &h = c.Codes[lc.Symbol];
            Len[l] = h.Code | (std::uint32_t(lc.Extra) << h.Length);
            LenBits[l] = static_cast<std::uint8_t>(h.Length + lc.ExtraBits);
        }
        Len[0] = Len[1] = Len[2] = 0;
        LenBits[0] = LenBits[1] = LenBits[2] = 0;
    }
};
const FixedTables &Fixed()
{
    static const FixedTables t;
    return t;
}

constexpr std::size_t EncHistory = 32768;
constexpr std::size_t EncCapacity = 131072;
constexpr std::size_t EncSlack = 512;
constexpr std::size_t OutCapacity = 65536;
constexpr std::uint32_t StoredLimit = 65535;
constexpr std::uint32_t MinPending = 258;
constexpr std::uint32_t Sentinel = 0x80808080u; // "no position": far outside any distance
constexpr std::size_t SymbolCapacity = 65537;
constexpr std::size_t SymbolBlockLimit = 65527;

} // namespace

// ================================================================= encoder

DeflateEncoder::DeflateEncoder(DeflateSink &sink)
    : sink_(sink), buf_(EncCapacity + EncSlack, 0), head_(65536, Sentinel), prev_(65536, Sentinel),
      out_(OutCapacity + 64)
{
}

DeflateEncoder::~DeflateEncoder() = default;

void DeflateEncoder::SetBlockType(std::uint8_t type)
{
    if (type > BlockStored)
        throw platform::EAssertionFailed("Invalid deflate block type");
    // Pending data must leave under the old type: the stored limit is larger
    // than the Huffman one, and an open block has to be closed with its codes.
    if (type != blockType_ && (blockOpen_ || end_ > pos_))
        Flush();
    blockType_ = type;
}

void DeflateEncoder::Write(const void *data, std::size_t count)
{
    if (finished_)
        throw platform::EInOutError("Stream not open for write");
    const auto *p = static_cast<const std::uint8_t *>(data);
    while (count > 0) {
        if (end_ == EncCapacity)
            Slide();
        std::size_t n = std::min(count, EncCapacity - end_);
        if (blockType_ == BlockStored)
            n = std::min<std::size_t>(n, StoredLimit - (end_ - pos_));
        std::memcpy(buf_.data() + end_, p, n);
        end_ += n;
        p += n;
        count -= n;
        Run(false);
    }
}

void DeflateEncoder::Flush()
{
    if (finished_)
        throw platform::EInOutError("Stream not open for write");
    while (end_ > pos_ || blockOpen_ || finalBlock_)
        Run(true);
    ReserveOut();
    DrainWholeBytes();
    PushOut();
}

void DeflateEncoder::Finish()
{
    if (finished_)
        return;
    finalBlock_ = true;
    Flush();
    if (bitCount_ > 0) {
        out_[outLen_++] = static_cast<std::uint8_t>(bitBuf_);
        bitBuf_ = 0;
        bitCount_ = 0;
    }
    PushOut();
    finished_ = true;
}

void DeflateEncoder::Slide()
{
    if (pos_ <= EncHistory)
        return;
    const std::size_t shift = pos_ - EncHistory;
    std::memmove(buf_.data(), buf_.data() + shift, end_ - shift);
    pos_ -= shift;
    end_ -= shift;
    base_ += static_cast<std::uint32_t>(shift);
}

void DeflateEncoder::Run(bool finishing)
{
    const std::size_t pending = end_ - pos_;
    switch (blockType_) {
    case BlockFixed:
        if (pending >= MinPending || finishing)
            FixedStep(finishing);
        break;
    case BlockDynamic:
        if (finishing) {
            DynamicStep(true);
        } else {
            while (end_ - pos_ >= MinPending)
                DynamicStep(false);
        }
        break;
    default:
        if (pending == StoredLimit || finishing)
            WriteStoredBlock();
        break;
    }
}

void DeflateEncoder::ReserveOut()
{
    if (outLen_ + 64 > out_.size())
        PushOut();
}

void DeflateEncoder::PushOut()
{
    if (outLen_ > 0) {
        const std::size_t n = outLen_;
        outLen_ = 0;
        sink_.Put(out_.data(), n);
    }
}

void DeflateEncoder::AlignToByte() noexcept
{
    if (bitCount_ & 7)
        PutBits(0, 8 - (bitCount_ & 7));
}

void DeflateEncoder::DrainWholeBytes() noexcept
{
    while (bitCount_ >= 8) {
        out_[outLen_++] = static_cast<std::uint8_t>(bitBuf_);
        bitBuf_ >>= 8;
        bitCount_ -= 8;
    }
}

void DeflateEncoder::Consume(std::uint32_t count) noexcept
{
    const std::uint8_t *b = buf_.data();
    std::uint32_t total = total_;
    std::size_t pos = pos_;
    for (std::uint32_t i = 0; i < count; ++i, ++pos, ++total) {
        if (total == 0)
            continue; // the first byte of the data ends no pair
        const unsigned key = b[pos - 1] | (unsigned(b[pos]) << 8);
        prev_[total & 0xFFFF] = head_[key];
        head_[key] = total;
    }
    pos_ = pos;
    total_ = total;
}

std::uint32_t DeflateEncoder::Search(std::uint32_t &distance) noexcept
{
    const std::uint8_t *b = buf_.data();
    const std::uint8_t *cur = b + pos_;
    const std::uint32_t limit = static_cast<std::uint32_t>(std::min<std::size_t>(258, end_ - pos_));
    const unsigned key = cur[0] | (unsigned(cur[1]) << 8);
    std::uint32_t best = 2;
    std::uint32_t p = head_[key];
    for (int k = 0; k < 64; ++k) {
        if (p == Sentinel)
            break;
        const std::int32_t d = static_cast<std::int32_t>(total_ - p + 1);
        if (d < 1 || d > 32768)
            break;
        const std::uint8_t *cand = cur - d;
        if (cand[best] == cur[best]) {
            // Both start with the pair of the key; count on from byte 2.
            std::uint32_t len = 2;
            while (len + 8 <= limit) {
                std::uint64_t x, y;
                std::memcpy(&x, cand + len, 8);
                std::memcpy(&y, cur + len, 8);
                if (x != y) {
                    len += static_cast<std::uint32_t>(__builtin_ctzll(x ^ y) >> 3);
                    goto measured;
                }
                len += 8;
            }
            while (len < limit && cand[len] == cur[len])
                ++len;
        measured:
            if (len > best) {
                best = len;
                distance = static_cast<std::uint32_t>(d);
                if (best >= limit)
                    break; // no later candidate can be longer, and ties keep the nearer one
            }
        }
        p = prev_[p & 0xFFFF];
    }
    return best;
}

void DeflateEncoder::FixedStep(bool finishing)
{
    const FixedTables &ft = Fixed();
    if (!blockOpen_) {
        ReserveOut();
        PutBits(finalBlock_ ? 1 : 0, 1);
        finalBlock_ = false;
        PutBits(1, 2);
        blockOpen_ = true;
    }
    for (;;) {
        const std::size_t pending = end_ - pos_;
        if (!(pending >= MinPending || (finishing && pending >= 3)))
            break;
        ReserveOut();
        std::uint32_t dist = 0;
        const std::uint32_t len = Search(dist);
        if (len < 3) {
            const std::uint8_t v = buf_[pos_];
            PutBits(ft.Lit[v], ft.LitBits[v]);
            Consume(1);
        } else {
            const LengthCode dc = CodeDistance(dist);
            const std::uint64_t dbits = ReverseBits(dc.Symbol, 5) | (std::uint32_t(dc.Extra) << 5);
            PutBits(ft.Len[len] | (dbits << ft.LenBits[len]), ft.LenBits[len] + 5u + dc.ExtraBits);
            Consume(len);
        }
    }
    if (!finishing)
        return;
    ReserveOut();
    while (end_ > pos_) {
        const std::uint8_t v = buf_[pos_];
        PutBits(ft.Lit[v], ft.LitBits[v]);
        Consume(1);
    }
    PutBits(0, 7); // end of block
    blockOpen_ = false;
}

void DeflateEncoder::DynamicStep(bool finishing)
{
    if (symbols_.empty())
        symbols_.resize(SymbolCapacity);
    if (!blockOpen_) {
        symbolCount_ = 0;
        blockOpen_ = true;
    }
    auto add = [&](std::uint16_t value, std::uint16_t kind) { symbols_[symbolCount_++] = Symbol{value, kind}; };
    while (blockOpen_) {
        const std::size_t pending = end_ - pos_;
        if (!(pending >= MinPending || (finishing && pending >= 3)))
            break;
        std::uint32_t dist = 0;
        const std::uint32_t len = Search(dist);
        if (len < 3) {
            add(buf_[pos_], 0xFFFF);
            Consume(1);
        } else {
            const LengthCode lc = CodeLength(len);
            add(lc.Symbol, 0xFFFF);
            if (lc.ExtraBits)
                add(lc.Extra, lc.ExtraBits);
            const LengthCode dc = CodeDistance(dist);
            add(dc.Symbol, 0xFFFE);
            if (dc.ExtraBits)
                add(dc.Extra, dc.ExtraBits);
            Consume(len);
        }
        // ">=": one match adds up to four entries, so the count can step past the mark.
        if (symbolCount_ >= SymbolBlockLimit) {
            WriteDynamicBlock(finishing);
            return; // writing the block ends this finishing round, as in the open-block loop
        }
    }
    if (!finishing)
        return;
    while (end_ > pos_) {
        add(buf_[pos_], 0xFFFF);
        Consume(1);
    }
    WriteDynamicBlock(finishing);
}

void DeflateEncoder::WriteDynamicBlock(bool /*finishing*/)
{
    ReserveOut();
    const bool last = finalBlock_ && end_ == pos_;
    if (last)
        finalBlock_ = false;
    PutBits(last ? 1 : 0, 1);
    PutBits(2, 2);
    symbols_[symbolCount_++] = Symbol{256, 0xFFFF};

    std::uint32_t litFreq[288] = {};
    std::uint32_t distFreq[32] = {};
    for (std::size_t i = 0; i < symbolCount_; ++i) {
        const Symbol s = symbols_[i];
        if (s.Kind == 0xFFFF)
            ++litFreq[s.Value];
        else if (s.Kind == 0xFFFE)
            ++distFreq[s.Value];
    }
    THuffmanCodes lit, dist;
    lit.SetCount(288);
    dist.SetCount(32);
    lit.BuildFromFrequencies(litFreq, 15);
    dist.BuildFromFrequencies(distFreq, 15);

    int hlit = 257;
    for (int s = 285; s >= 1; --s)
        if (lit.Codes[s].Length) {
            hlit = std::max(257, s + 1);
            break;
        }
    int hdist = 1;
    for (int s = 29; s >= 1; --s)
        if (dist.Codes[s].Length) {
            hdist = s + 1;
            break;
        }

    std::uint8_t lens[288 + 32 + 1];
    const int total = hlit + hdist;
    for (int i = 0; i < hlit; ++i)
        lens[i] = static_cast<std::uint8_t>(lit.Codes[i].Length);
    for (int i = 0; i < hdist; ++i)
        lens[hlit + i] = static_cast<std::uint8_t>(dist.Codes[i].Length);
    lens[total] = 255; // sentinel that differs from every length

    struct Rle {
        std::uint8_t Symbol, ExtraBits, Extra;
    };
    Rle rle[288 + 32 + 1];
    int rleCount = 0;
    int previous = lens[0];
    int run = 1;
    for (int i = 1; i <= total; ++i) {
        if (lens[i] == previous) {
            ++run;
            continue;
        }
        if (previous != 0) {
            rle[rleCount++] = {static_cast<std::uint8_t>(previous), 0, 0};
            --run;
        }
        while (run >= 3) {
            if (previous != 0) {
                const int take = std::min(run, 6);
                rle[rleCount++] = {16, 2, static_cast<std::uint8_t>(take - 3)};
                run -= take;
            } else if (run > 10) {
                const int take = std::min(run, 138);
                rle[rleCount++] = {18, 7, static_cast<std::uint8_t>(take - 11)};
                run -= take;
            } else {
                rle[rleCount++] = {17, 3, static_cast<std::uint8_t>(run - 3)};
                run = 0;
            }
        }
        while (run-- > 0)
            rle[rleCount++] = {static_cast<std::uint8_t>(previous), 0, 0};
        previous = lens[i];
        run = 1;
    }

    std::uint32_t clFreq[19] = {};
    for (int i = 0; i < rleCount; ++i)
        ++clFreq[rle[i].Symbol];
    THuffmanCodes cl;
    cl.SetCount(19);
    cl.BuildFromFrequencies(clFreq, 7);
    int p = 18;
    while (p > 1 && cl.Codes[CodeLengthOrder[p]].Length == 0)
        --p;
    p = std::max(p, 3);

    PutBits(static_cast<std::uint32_t>(hlit - 257), 5);
    PutBits(static_cast<std::uint32_t>(hdist - 1), 5);
    PutBits(static_cast<std::uint32_t>(p - 3), 4);
    for (int i = 0; i <= p; ++i) {
        ReserveOut();
        PutBits(cl.Codes[CodeLengthOrder[i]].Length, 3);
    }
    for (int i = 0; i < rleCount; ++i) {
        ReserveOut();
        const THuffmanCode &c = cl.Codes[rle[i].Symbol];
        PutBits(c.Code, c.Length);
        if (rle[i].ExtraBits)
            PutBits(rle[i].Extra, rle[i].ExtraBits);
    }
    for (std::size_t i = 0; i < symbolCount_; ++i) {
        ReserveOut();
        const Symbol s = symbols_[i];
        if (s.Kind == 0xFFFF)
            PutBits(lit.Codes[s.Value].Code, lit.Codes[s.Value].Length);
        else if (s.Kind == 0xFFFE)
            PutBits(dist.Codes[s.Value].Code, dist.Codes[s.Value].Length);
        else
            PutBits(s.Value, s.Kind);
    }
    symbolCount_ = 0;
    blockOpen_ = false;
}

void DeflateEncoder::WriteStoredBlock()
{
    ReserveOut();
    PutBits(finalBlock_ ? 1 : 0, 1);
    PutBits(0, 2);
    AlignToByte();
    const std::uint32_t len = static_cast<std::uint32_t>(end_ - pos_);
    PutBits(len | ((~len & 0xFFFFu) << 16), 32);
    DrainWholeBytes();
    std::size_t from = pos_;
    std::size_t left = len;
    while (left > 0) {
        if (outLen_ == out_.size())
            PushOut();
        const std::size_t n = std::min(left, out_.size() - outLen_);
        std::memcpy(out_.data() + outLen_, buf_.data() + from, n);
        outLen_ += n;
        from += n;
        left -= n;
    }
    Consume(len);
    finalBlock_ = false;
    PushOut(); // a full stored block leaves at once
}

// ================================================================ inflater

namespace {

using Entry = Inflater::Entry;
constexpr std::uint8_t OpLit = 0x00;  // Value is the symbol
constexpr std::uint8_t OpBase = 0x10; // Value is a length/distance base, low nibble the extra bits
constexpr std::uint8_t OpEnd = 0x20;
constexpr std::uint8_t OpSub = 0x40;  // Value is the subtable offset, low nibble its index bits
constexpr std::uint8_t OpBad = 0x80;  // no code here
constexpr std::uint8_t OpErr = 0x81;  // a code for a symbol that must not occur

constexpr unsigned LitRoot = 10;
constexpr unsigned DistRoot = 8;
constexpr unsigned CodeLenRoot = 7;
constexpr std::size_t LitTableSize = (1u << LitRoot) + 288 * (1u << (15 - LitRoot));
constexpr std::size_t DistTableSize = (1u << DistRoot) + 32 * (1u << (15 - DistRoot));

constexpr std::size_t WinHistory = 32768;
constexpr std::size_t WinCapacity = 131072;
constexpr std::size_t WinSlack = 258 + 16;
constexpr std::size_t MaxTarget = 32768;

enum class Kind { Lit, Dist, CodeLen };

Entry SymbolEntry(Kind kind, int s)
{
    switch (kind) {
    case Kind::Lit:
        if (s < 256)
            return {static_cast<std::uint16_t>(s), 0, OpLit};
        if (s == 256)
            return {0, 0, OpEnd};
        if (s <= 285)
            return {LengthBase[s - 257], 0, static_cast<std::uint8_t>(OpBase | LengthExtra[s - 257])};
        return {0, 0, OpErr};
    case Kind::Dist:
        if (s < 30)
            return {DistBase[s], 0, static_cast<std::uint8_t>(OpBase | DistExtra[s])};
        return {0, 0, OpErr}; // 30 and 31 do not occur in valid data
    default:
        return {static_cast<std::uint16_t>(s), 0, OpLit};
    }
}

// The low `n` bits of `v` in reverse order.
inline std::uint16_t Reverse16(unsigned v, unsigned n)
{
    v = ((v & 0x5555u) << 1) | ((v >> 1) & 0x5555u);
    v = ((v & 0x3333u) << 2) | ((v >> 2) & 0x3333u);
    v = ((v & 0x0F0Fu) << 4) | ((v >> 4) & 0x0F0Fu);
    v = ((v & 0x00FFu) << 8) | ((v >> 8) & 0x00FFu);
    return static_cast<std::uint16_t>(v >> (16 - n));
}

// Two-level lookup table: `root` index bits, then subtables for longer codes.
// Over-subscribed sets raise; gaps of incomplete sets stay OpBad.
void BuildTable(const std::uint8_t *lens, int n, unsigned root, Kind kind, Entry *table)
{
    unsigned count[16] = {};
    for (int s = 0; s < n; ++s) {
        if (lens[s] > 15)
            BadData();
        ++count[lens[s]];
    }
    count[0] = 0;
    int left = 1;
    for (int l = 1; l <= 15; ++l) {
        left = left * 2 - static_cast<int>(count[l]);
        if (left < 0)
            BadData();
    }
    unsigned next[16] = {};
    unsigned code = 0;
    for (int l = 1; l <= 15; ++l) {
        code = (code + count[l - 1]) << 1;
        next[l] = code;
    }
    const unsigned rootSize = 1u << root;
    // A complete code fills every slot; only the gaps of an incomplete one
    // need marking.
    const bool complete = left == 0;
    if (!complete)
        for (unsigned i = 0; i < rootSize; ++i)
            table[i] = {0, static_cast<std::uint8_t>(root), OpBad};
    std::uint16_t rev[320];
    // Per root prefix of longer codes: the longest length; `longs` lists the
    // prefixes in use, so only they are visited.
    std::uint8_t maxLen[1u << LitRoot];
    std::uint16_t longs[320];
    unsigned nLong = 0;
    for (unsigned l = root + 1; l <= 15; ++l)
        if (count[l]) {
            std::memset(maxLen, 0, rootSize);
            break;
        }
    for (int s = 0; s < n; ++s) {
        const unsigned l = lens[s];
        if (!l)
            continue;
        rev[s] = Reverse16(next[l]++, l);
        if (l > root) {
            const unsigned r = rev[s] & (rootSize - 1);
            if (!maxLen[r])
                longs[nLong++] = static_cast<std::uint16_t>(r);
            maxLen[r] = std::max<std::uint8_t>(maxLen[r], static_cast<std::uint8_t>(l));
        }
    }
    std::uint16_t subOff[1u << LitRoot];
    unsigned off = rootSize;
    for (unsigned j = 0; j < nLong; ++j) {
        const unsigned r = longs[j];
        const unsigned k = maxLen[r] - root;
        table[r] = {static_cast<std::uint16_t>(off), static_cast<std::uint8_t>(root),
                    static_cast<std::uint8_t>(OpSub | k)};
        subOff[r] = static_cast<std::uint16_t>(off);
        if (!complete)
            for (unsigned i = 0; i < (1u << k); ++i)
                table[off + i] = {0, static_cast<std::uint8_t>(k), OpBad};
        off += 1u << k;
    }
    for (int s = 0; s < n; ++s) {
        const unsigned l = lens[s];
        if (!l)
            continue;
        Entry e = SymbolEntry(kind, s);
        if (l <= root) {
            e.Bits = static_cast<std::uint8_t>(l);
            for (unsigned i = rev[s]; i < rootSize; i += 1u << l)
                table[i] = e;
        } else {
            const unsigned r = rev[s] & (rootSize - 1);
            const unsigned k = maxLen[r] - root;
            const unsigned rl = l - root;
            e.Bits = static_cast<std::uint8_t>(rl);
            for (unsigned i = rev[s] >> root; i < (1u << k); i += 1u << rl)
                table[subOff[r] + i] = e;
        }
    }
}

struct FixedDecodeTables {
    Entry Lit[LitTableSize];
    Entry Dist[DistTableSize];
    FixedDecodeTables()
    {
        std::uint8_t lens[288];
        for (int s = 0; s < 288; ++s)
            lens[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        BuildTable(lens, 288, LitRoot, Kind::Lit, Lit);
        std::uint8_t d[32];
        std::fill(d, d + 32, 5);
        BuildTable(d, 32, DistRoot, Kind::Dist, Dist);
    }
};
const FixedDecodeTables &FixedDecode()
{
    static const FixedDecodeTables t;
    return t;
}

} // namespace

// The bit accumulator over a run of input bytes that both inputs share: the
// bits not yet used lie in `acc` from bit 0, `bits` of them; `in` is the next
// byte not in it, `end` the end of the bytes at hand.
struct BitInput {
    std::uint64_t acc;
    unsigned bits;
    const std::uint8_t *in;
    const std::uint8_t *end;
    // Tops the accumulator up to at least 56 bits when 8 bytes are at hand.
    void Prefetch() noexcept
    {
        if (end - in >= 8) {
            std::uint64_t v;
            std::memcpy(&v, in, 8);
            acc |= v << bits;
            in += (63 - bits) >> 3;
            bits |= 56;
        }
    }
    // Hands out the whole bytes of the accumulator (it is byte-aligned here),
    // up to n; returns how many.
    std::size_t TakeWholeBytes(std::uint8_t *dst, std::size_t n) noexcept
    {
        std::size_t got = 0;
        while (bits >= 8 && got < n) {
            dst[got++] = static_cast<std::uint8_t>(acc);
            acc >>= 8;
            bits -= 8;
        }
        return got;
    }
};

// Input from a buffer: reads ahead freely (the buffer is all there is) and
// counts back the whole bytes still in the accumulator.
struct MemInput : BitInput {
    explicit MemInput(Inflater &z) : BitInput{z.acc_, z.bits_, z.in_, z.inEnd_} {}
    void Commit(Inflater &z) const
    {
        z.acc_ = acc;
        z.bits_ = bits;
        z.in_ = in;
    }
    void More()
    {
        if (in == end)
            Truncated();
        acc |= std::uint64_t(*in++) << bits;
        bits += 8;
    }
    std::size_t Raw(std::uint8_t *dst, std::size_t n)
    {
        const std::size_t got = TakeWholeBytes(dst, n);
        if (bits == 0)
            acc = 0;
        const std::size_t m = std::min<std::size_t>(n - got, static_cast<std::size_t>(end - in));
        std::memcpy(dst + got, in, m);
        in += m;
        return got + m;
    }
};

// Input from a source: decodes in place from the bytes the source shows and
// takes from it exactly the bytes whose bits were used; without a view, one
// byte is pulled whenever a bit of it is needed. More() runs only when the
// current operation needs more bits than the accumulator holds, so every bit
// in it then will be used: the view read so far can be taken.
struct SourceInput : BitInput {
    InflateSource *src;
    const std::uint8_t *start = nullptr;
    explicit SourceInput(Inflater &z) : BitInput{z.acc_, z.bits_, nullptr, nullptr}, src(z.source_) {}
    static std::uint64_t Mask(unsigned n) { return n >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << n) - 1; }
    // Gives the unused whole bytes of the view back (they were never taken).
    void Commit(Inflater &z)
    {
        const std::size_t taken = static_cast<std::size_t>(in - start);
        const std::size_t unused = std::min<std::size_t>(bits / 8, taken);
        if (taken > unused)
            src->Skip(taken - unused);
        bits -= static_cast<unsigned>(8 * unused);
        acc &= Mask(bits);
        in = end = start = nullptr;
        z.acc_ = acc;
        z.bits_ = bits;
    }
    void TakeView()
    {
        if (in != start)
            src->Skip(static_cast<std::size_t>(in - start));
        in = end = start = nullptr;
    }
    void More()
    {
        if (in != end) {
            acc |= std::uint64_t(*in++) << bits;
            bits += 8;
            return;
        }
        TakeView();
        acc &= Mask(bits);
        std::size_t n = 0;
        const std::uint8_t *p = src->Peek(n);
        if (n > 0) {
            start = in = p;
            end = p + n;
            acc |= std::uint64_t(*in++) << bits;
            bits += 8;
            return;
        }
        std::uint8_t b;
        if (src->Pull(&b, 1) != 1)
            Truncated();
        acc |= std::uint64_t(b) << bits;
        bits += 8;
    }
    std::size_t Raw(std::uint8_t *dst, std::size_t n)
    {
        std::size_t got = TakeWholeBytes(dst, n);
        acc &= Mask(bits);
        const std::size_t m = std::min<std::size_t>(n - got, static_cast<std::size_t>(end - in));
        if (m) {
            std::memcpy(dst + got, in, m);
            in += m;
            got += m;
        }
        if (got < n) {
            TakeView(); // every byte taken so far is used: the rest comes straight from the source
            while (got < n) {
                const std::size_t k = src->Pull(dst + got, n - got);
                if (k == 0)
                    break;
                got += k;
            }
        }
        return got;
    }
};

namespace {
template <class In> [[gnu::always_inline]] inline std::uint32_t GetBits(In &in, unsigned n)
{
    while (in.bits < n)
        in.More();
    const std::uint32_t v = static_cast<std::uint32_t>(in.acc & ((std::uint64_t(1) << n) - 1));
    in.acc >>= n;
    in.bits -= n;
    return v;
}

template <class In> [[gnu::always_inline]] inline Entry DecodeEntry(In &in, const Entry *table, unsigned root)
{
    const std::uint64_t rootMask = (1u << root) - 1;
    Entry e = table[in.acc & rootMask];
    while (e.Bits > in.bits) {
        in.More();
        e = table[in.acc & rootMask];
    }
    if ((e.Op & 0xF0) == OpSub) {
        const Entry *sub = table + e.Value;
        const std::uint64_t subMask = (1u << (e.Op & 15)) - 1;
        Entry f = sub[(in.acc >> root) & subMask];
        while (root + f.Bits > in.bits) {
            in.More();
            f = sub[(in.acc >> root) & subMask];
        }
        in.acc >>= root + f.Bits;
        in.bits -= root + f.Bits;
        return f;
    }
    in.acc >>= e.Bits;
    in.bits -= e.Bits;
    return e;
}
} // namespace

Inflater::Inflater() : win_(std::make_unique_for_overwrite<std::uint8_t[]>(WinCapacity + WinSlack)) {}
Inflater::~Inflater() = default;

void Inflater::SetInput(const std::uint8_t *data, std::size_t count) noexcept
{
    in_ = inStart_ = data;
    inEnd_ = data + count;
}

std::size_t Inflater::InputUsed() const noexcept
{
    return static_cast<std::size_t>(in_ - inStart_) - bits_ / 8;
}

void Inflater::MakeRoom()
{
    const std::size_t keep = std::min(wdel_, wend_ > WinHistory ? wend_ - WinHistory : 0);
    if (keep == 0)
        return;
    std::memmove(win_.get(), win_.get() + keep, wend_ - keep);
    wend_ -= keep;
    wdel_ -= keep;
}

std::size_t Inflater::Read(std::uint8_t *data, std::size_t count)
{
    std::size_t produced = 0;
    while (produced < count) {
        if (wend_ > wdel_) {
            const std::size_t m = std::min(count - produced, wend_ - wdel_);
            std::memcpy(data + produced, win_.get() + wdel_, m);
            wdel_ += m;
            produced += m;
            continue;
        }
        if (state_ == Done)
            break;
        const std::size_t target = std::min(count - produced, MaxTarget);
        if (source_) {
            SourceInput in(*this);
            Decode(in, target);
            in.Commit(*this);
        } else {
            MemInput in(*this);
            Decode(in, target);
            in.Commit(*this);
        }
    }
    return produced;
}

template <class In> void Inflater::Decode(In &in, std::size_t target)
{
    while (wend_ - wdel_ < target && state_ != Done) {
        if (wend_ + 258 > WinCapacity)
            MakeRoom();
        switch (state_) {
        case Header:
            ReadHeader(in);
            break;
        case Stored:
            CopyStored(in, target);
            break;
        case Huffman:
            DecodeHuffman(in, target);
            break;
        case Done:
            break;
        }
    }
}

template <class In> void Inflater::ReadHeader(In &in)
{
    if (final_) {
        state_ = Done;
        return;
    }
    const std::uint32_t v = GetBits(in, 3);
    final_ = (v & 1) != 0;
    switch (v >> 1) {
    case 0: {
        in.acc >>= in.bits & 7; // the rest of the current byte is padding
        in.bits &= ~7u;
        std::uint8_t h[4];
        if (in.Raw(h, 4) != 4)
            Truncated();
        const unsigned len = h[0] | (unsigned(h[1]) << 8);
        const unsigned nlen = h[2] | (unsigned(h[3]) << 8);
        if (nlen != (~len & 0xFFFFu))
            BadData();
        storedLeft_ = len;
        state_ = Stored;
        break;
    }
    case 1:
        litTable_ = FixedDecode().Lit;
        distTable_ = FixedDecode().Dist;
        state_ = Huffman;
        break;
    case 2:
        ReadDynamicTables(in);
        state_ = Huffman;
        break;
    default:
        BadData();
    }
}

template <class In> void Inflater::ReadDynamicTables(In &in)
{
    const unsigned hlit = GetBits(in, 5) + 257;
    const unsigned hdist = GetBits(in, 5) + 1;
    const unsigned hclen = GetBits(in, 4) + 4;
    if (hlit + hdist > 318)
        BadData();
    std::uint8_t cl[19] = {};
    for (unsigned i = 0; i < hclen; ++i)
        cl[CodeLengthOrder[i]] = static_cast<std::uint8_t>(GetBits(in, 3));
    Entry clTable[1u << CodeLenRoot];
    BuildTable(cl, 19, CodeLenRoot, Kind::CodeLen, clTable);

    std::uint8_t lens[320] = {};
    const unsigned n = hlit + hdist;
    unsigned i = 0;
    while (i < n) {
        const Entry e = DecodeEntry(in, clTable, CodeLenRoot);
        if (e.Op == OpBad)
            BadCode();
        const unsigned sym = e.Value;
        if (sym < 16) {
            lens[i++] = static_cast<std::uint8_t>(sym);
            continue;
        }
        unsigned rep;
        std::uint8_t value = 0;
        if (sym == 16) {
            if (i == 0)
                BadData(); // nothing to repeat
            value = lens[i - 1];
            rep = 3 + GetBits(in, 2);
        } else if (sym == 17) {
            rep = 3 + GetBits(in, 3);
        } else {
            rep = 11 + GetBits(in, 7);
        }
        if (i + rep > n)
            BadData(); // repeat past the end of the lengths
        std::memset(lens + i, value, rep);
        i += rep;
    }
    std::uint8_t litLens[288] = {};
    std::uint8_t distLens[32] = {};
    std::memcpy(litLens, lens, std::min(hlit, 288u));
    std::memcpy(distLens, lens + hlit, std::min(hdist, 32u));
    if (!litOwn_) {
        litOwn_ = std::make_unique_for_overwrite<Entry[]>(LitTableSize);
        distOwn_ = std::make_unique_for_overwrite<Entry[]>(DistTableSize);
    }
    BuildTable(litLens, 288, LitRoot, Kind::Lit, litOwn_.get());
    BuildTable(distLens, 32, DistRoot, Kind::Dist, distOwn_.get());
    litTable_ = litOwn_.get();
    distTable_ = distOwn_.get();
}

template <class In> void Inflater::CopyStored(In &in, std::size_t target)
{
    while (storedLeft_ > 0 && wend_ - wdel_ < target) {
        if (wend_ == WinCapacity)
            MakeRoom();
        const std::size_t n = std::min({static_cast<std::size_t>(storedLeft_), target - (wend_ - wdel_),
                                        WinCapacity - wend_});
        if (n == 0)
            break;
        if (in.Raw(win_.get() + wend_, n) != n)
            Truncated();
        wend_ += n;
        total_ += n;
        storedLeft_ -= static_cast<std::uint32_t>(n);
    }
    if (storedLeft_ == 0)
        state_ = Header;
}

namespace {
// Copies a match inside the window, whole words at a time: it may write up
// to 15 bytes past its end (the window has slack) and reads only bytes
// already written.
[[gnu::always_inline]] inline void CopyMatch(std::uint8_t *dst, std::size_t distance, unsigned len)
{
    const std::uint8_t *src = dst - distance;
    if (distance >= 16) {
        for (unsigned k = 0; k < len; k += 16)
            std::memcpy(dst + k, src + k, 16);
    } else if (distance == 1) {
        std::memset(dst, *src, len);
    } else {
        // A short period: 16 bytes of the pattern, stored at whole multiples
        // of the period, so nothing just written is read back.
        std::uint8_t pattern[16];
        for (unsigned i = 0; i < distance; ++i)
            pattern[i] = src[i];
        for (unsigned i = static_cast<unsigned>(distance); i < 16; ++i)
            pattern[i] = pattern[i - distance];
        const unsigned step = static_cast<unsigned>(distance * (16 / distance));
        for (unsigned k = 0; k < len; k += step)
            std::memcpy(dst + k, pattern, 16);
    }
}
} // namespace

template <class In> void Inflater::DecodeHuffman(In &input, std::size_t target)
{
    // A local copy of the bit state stays in registers: the window stores
    // below could otherwise alias it.
    In in = input;
    std::uint8_t *const w = win_.get();
    std::size_t end = wend_;
    const std::size_t start = wend_;
    const Entry *lit = litTable_;
    const Entry *dist = distTable_;
    // One bound for both limits: the bytes wanted, and room for a longest match.
    const std::size_t stop = std::min(wdel_ + target, WinCapacity - 258 + 1);
    constexpr std::uint64_t litMask = (1u << LitRoot) - 1, distMask = (1u << DistRoot) - 1;
    auto take = [&](unsigned n) {
        const std::uint32_t v = static_cast<std::uint32_t>(in.acc & ((std::uint64_t(1) << n) - 1));
        in.acc >>= n;
        in.bits -= n;
        return v;
    };
    // Looks up an entry when the accumulator surely holds its bits.
    auto lookup = [&](const Entry *table, unsigned root, std::uint64_t mask) {
        Entry e = table[in.acc & mask];
        if (e.Op & OpSub) {
            const Entry f = table[e.Value + ((in.acc >> root) & ((1u << (e.Op & 15)) - 1))];
            take(root + f.Bits);
            return f;
        }
        take(e.Bits);
        return e;
    };
    // A length with its distance (the match is copied), or the block's end
    // (false); any other entry is bad data. Bits and distance entries come
    // from the caller's path: unchecked after a full refill, checked near
    // the end of the input.
    auto Match = [&](const Entry &e, auto &&bits, auto &&distEntry) {
        if ((e.Op & 0xF0) != OpBase) {
            if (e.Op == OpEnd) {
                state_ = Header;
                return false;
            }
            if (e.Op == OpBad)
                BadCode();
            BadData();
        }
        const unsigned len = e.Value + bits(e.Op & 15);
        const Entry d = distEntry();
        if ((d.Op & 0xF0) != OpBase) {
            if (d.Op == OpBad)
                BadCode();
            BadData();
        }
        const std::size_t distance = d.Value + bits(d.Op & 15);
        if (distance > total_ + (end - start))
            BadData(); // reaches before the start of the output
        CopyMatch(w + end, distance, len);
        end += len;
        return true;
    };
    while (end < stop) {
        if (in.end - in.in >= 8) {
            // Fast path: after the refill the accumulator holds at least 56
            // bits, enough for a length, a distance and their extra bits
            // (48), so no step checks for bits.
            in.Prefetch();
            const Entry e = lookup(lit, LitRoot, litMask);
            if (e.Op == OpLit) {
                w[end++] = static_cast<std::uint8_t>(e.Value);
                // At least 41 bits remain: room for a second literal.
                const Entry e2 = lit[in.acc & litMask];
                if (e2.Op == OpLit && end < stop) {
                    take(e2.Bits);
                    w[end++] = static_cast<std::uint8_t>(e2.Value);
                }
                continue;
            }
            if (!Match(e, take, [&] { return lookup(dist, DistRoot, distMask); }))
                break;
            continue;
        }
        in.Prefetch();
        const Entry e = DecodeEntry(in, lit, LitRoot);
        if (e.Op == OpLit) {
            w[end++] = static_cast<std::uint8_t>(e.Value);
            continue;
        }
        if (!Match(e, [&](unsigned n) { return GetBits(in, n); }, [&] { return DecodeEntry(in, dist, DistRoot); }))
            break;
    }
    total_ += end - start;
    wend_ = end;
    input = in;
}

std::vector<std::uint8_t> DeflateBuffer(const void *data, std::size_t count, std::uint8_t blockType)
{
    VectorSink sink;
    DeflateEncoder enc(sink);
    enc.SetBlockType(blockType);
    enc.Write(data, count);
    enc.Finish();
    return std::move(sink.Data);
}

std::vector<std::uint8_t> InflateBuffer(const std::uint8_t *data, std::size_t count, std::size_t *used)
{
    Inflater inf;
    inf.SetInput(data, count);
    std::vector<std::uint8_t> out;
    std::uint8_t chunk[65536];
    for (;;) {
        const std::size_t n = inf.Read(chunk, sizeof chunk);
        out.insert(out.end(), chunk, chunk + n);
        if (n < sizeof chunk)
            break;
    }
    if (used)
        *used = inf.InputUsed();
    return out;
}

} // namespace imaging

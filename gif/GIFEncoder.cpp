#include "gif/GIFEncoder.h"

#include "gif/ColorReduction.h"
#include "gif/GIFImage.h"
#include "gif/GIFSubImage.h"
#include "gif/GIFUtils.h"
#include "platform/core/Exceptions.h"

#include <algorithm>
#include <cstring>

namespace gif {

namespace {

// The largest code a GIF decoder accepts; the encoders clear before reaching it.
constexpr int MaxTableCode = 4095;

} // namespace

// ---------------------------------------------------------------- streams

TGIFStream::TGIFStream(QIODevice &Stream, TGIFWarning Warning) : Warning_(std::move(Warning)), Stream(Stream) {}

int TGIFStream::Read(void *, int)
{
    throw platform::Exception("Invalid stream operation");
}

int TGIFStream::Write(const void *, int)
{
    throw platform::Exception("Invalid stream operation");
}

std::int64_t TGIFStream::Seek(std::int64_t, int)
{
    throw platform::Exception("Invalid stream operation");
}

TGIFWriter::TGIFWriter(QIODevice &Stream, TGIFWarning Warning) : TGIFStream(Stream, std::move(Warning)) {}

TGIFWriter::~TGIFWriter()
{
    try {
        Flush();
    } catch (...) {
        // The encode that owns this writer has already failed and is reporting it.
    }
}

int TGIFWriter::Write(const void *Data, int Count)
{
    NeedsFlush = true;
    if (Count < 1)
        return Count;
    const auto *p = static_cast<const std::uint8_t *>(Data);
    int left = Count;
    while (left > 0) {
        const int n = std::min(left, 256 - BufferCount);
        std::memcpy(Buffer.data() + BufferCount, p, std::size_t(n));
        BufferCount += n;
        p += n;
        left -= n;
        if (BufferCount == 256)
            Flush();
    }
    return Count;
}

void TGIFWriter::Flush()
{
    // An empty buffer still holds its length byte: writing it would end the
    // image data early with a stray terminator.
    if (BufferCount > 1) {
        Buffer[0] = std::uint8_t(BufferCount - 1);
        WriteCheck(Stream, Buffer.data(), BufferCount);
        BufferCount = 1;
    }
    NeedsFlush = false;
}

// ---------------------------------------------------------------- hash table

void THashTable::Insert(std::uint32_t Key, int Code)
{
    const int home = Hash(Key);
    const int step = Displacement(home);
    int slot = home;
    while (Slots[std::size_t(slot)] != Empty) {
        slot -= step;
        if (slot < 0)
            slot += Size;
    }
    Slots[std::size_t(slot)] = (Key << 12) | (std::uint32_t(Code) & 0xFFF);
}

// ---------------------------------------------------------------- encoder base

void TGIFEncoder::Encode(QIODevice &Stream_, int BitsPerPixel_, int MaxColor_, const std::uint8_t *Data_,
                         bool Interlace_, int Height_, int Width_)
{
    if (BitsPerPixel_ > 8)
        Error("Invalid number of colors");
    Stream = &Stream_;
    BitsPerPixel = std::max(BitsPerPixel_, 2);
    MaxColor = MaxColor_;
    Data = Data_;
    Interlace = Interlace_;
    Height = Height_;
    Width = Width_;
    InitialBitsPerCode = BitsPerPixel + 1;

    PutByte(*Stream, std::uint8_t(BitsPerPixel));

    BitsPerCode = InitialBitsPerCode;
    MaxCode = (1 << BitsPerCode) - 1;
    ClearCode = 1 << BitsPerPixel;
    EOFCode = ClearCode + 1;
    BaseCode = EOFCode + 1;
    BitBuffer = 0;
    BitCount = 0;
    ClearFlag = false;
    // A value at or above the clear code would be read as a control code.
    Limit = std::min(MaxColor, ClearCode);
    Remaining = Interlace ? std::int64_t(Width) : std::int64_t(Width) * Height;
    Row = 0;
    Pass = 0;

    Writer = std::make_unique<TGIFWriter>(*Stream, Warning_);
    if (Data && Height >= 1 && Width >= 1)
        Compress();
    Output(EOFCode);
    Writer->Flush();
    Writer.reset();
    PutByte(*Stream, 0);
}

void TGIFEncoder::Clear()
{
    ClearFlag = true;
    Output(ClearCode);
}

bool TGIFEncoder::NextPixel()
{
    if (--Remaining > 0) {
        ++Pixel;
        return true;
    }
    if (!Interlace)
        return false;
    static constexpr int step[4] = {8, 8, 4, 2};
    static constexpr int first[4] = {0, 4, 2, 1};
    Remaining = Width;
    Row += step[Pass];
    while (Row >= Height && Pass < 3) {
        ++Pass;
        Row = first[Pass];
    }
    if (Row >= Height)
        return false;
    Pixel = Data + std::int64_t(Row) * Width;
    return true;
}

int TGIFEncoder::CheckedPixel() const
{
    const int c = *Pixel;
    if (c >= Limit)
        Error("Color not in color table");
    return c;
}

// ---------------------------------------------------------------- LZW

void TLZWEncoder::Clear()
{
    TGIFEncoder::Clear();
    HashTable->Clear();
    std::fill_n(Recent.get(), 2 * RecentSize, 0xFFFFFFFFu);
    FreeCode = ClearCode + 2;
}

void TLZWEncoder::Compress()
{
    HashTable = std::make_unique<THashTable>();
    Recent = std::make_unique<std::uint32_t[]>(2 * RecentSize);
    THashTable &table = *HashTable;
    std::uint32_t *recent = Recent.get();
    FreeCode = ClearCode + 2;
    Clear();
    const int limit = Limit;
    // The pixels go by spans (the whole frame, or one row when interlaced)
    // so that the inner loop is plain pointer arithmetic.
    Pixel = Data;
    int prefix = CheckedPixel();
    const std::uint8_t *p = Pixel + 1;
    std::int64_t left = Remaining - 1;
    for (;;) {
        for (; left > 0; --left) {
            const int c = *p++;
            if (c >= limit)
                Error("Color not in color table");
            const std::uint32_t key = (std::uint32_t(prefix) << 8) | std::uint32_t(c);
            // The string last found from this prefix, then recent strings by
            // a cheap hash, then the table.
            std::uint32_t &last = recent[prefix];
            if ((last >> 12) == std::uint32_t(c)) {
                prefix = int(last & 0xFFF);
                continue;
            }
            std::uint32_t &hint = recent[RecentSize + ((key ^ (key >> 12)) & (RecentSize - 1))];
            if ((hint >> 12) == key) {
                last = (std::uint32_t(c) << 12) | (hint & 0xFFF);
                prefix = int(hint & 0xFFF);
                continue;
            }
            int slot;
            const int code = table.Find(key, slot);
            if (code >= 0) {
                hint = (key << 12) | std::uint32_t(code);
                last = (std::uint32_t(c) << 12) | std::uint32_t(code);
                prefix = code;
                continue;
            }
            PutLZWCode(prefix);
            prefix = c;
            if (FreeCode >= MaxTableCode) {
                Clear();
            } else {
                table.Store(slot, key, FreeCode);
                hint = (key << 12) | std::uint32_t(FreeCode);
                last = (std::uint32_t(c) << 12) | std::uint32_t(FreeCode);
                ++FreeCode;
            }
        }
        Pixel = p - 1;
        Remaining = 1;
        if (!NextPixel())
            break;
        p = Pixel;
        left = Remaining;
    }
    Prefix = prefix;
    Output(Prefix);
    HashTable.reset();
    Recent.reset();
}

// ---------------------------------------------------------------- run-length

namespace {

std::int64_t ISqrt(std::int64_t x)
{
    if (x < 2)
        return x;
    std::int64_t r = 1;
    for (std::int64_t v = x; v; v >>= 2)
        r <<= 1;
    for (;;) {
        const std::int64_t v = (x / r + r) / 2;
        if (v == r || v == r + 1)
            return r;
        r = v;
    }
}

// Codes needed to send Count pixels of one value as strings of growing
// length 1, 2, 3, ... restarting after each batch of MaxCodes strings.
std::int64_t TriangleCount(std::int64_t Count, std::int64_t MaxCodes)
{
    const std::int64_t per = MaxCodes * (MaxCodes + 1) / 2;
    std::int64_t cost = 0;
    if (per > 0 && Count >= per) {
        cost += (Count / per) * MaxCodes;
        Count %= per;
    }
    if (Count > 0) {
        std::int64_t k = ISqrt(Count);
        while (k * (k + 1) >= 2 * Count)
            --k;
        while (k * (k + 1) < 2 * Count)
            ++k;
        cost += k;
    }
    return cost;
}

} // namespace

void TRLEEncoder::Clear()
{
    OutBump = OutBumpInit;
    OutClear = OutClearInit;
    OutCount = 0;
    TableMax = 0;
    TGIFEncoder::Clear();
    BitsPerCode = InitialBitsPerCode;
}

void TRLEEncoder::OutputPlain(int Code)
{
    ClearFlag = false;
    Output(Code);
    ++OutCount;
    if (OutCount >= OutBump) {
        ++BitsPerCode;
        OutBump += 1 << (BitsPerCode - 1);
    }
    if (OutCount >= OutClear)
        Clear();
}

void TRLEEncoder::ResetOutClear()
{
    OutClear = OutClearInit;
    if (OutCount >= OutClear)
        Clear();
}

void TRLEEncoder::FlushFromClear(std::int64_t Count)
{
    OutClear = MaxOutCodes;
    TablePixel = RunPixel;
    int n = 1;
    while (Count > 0) {
        if (n == 1) {
            TableMax = 1;
            OutputPlain(RunPixel);
            --Count;
        } else if (Count >= n) {
            TableMax = n;
            OutputPlain(BaseCode + n - 2);
            Count -= n;
        } else if (Count == 1) {
            ++TableMax;
            OutputPlain(RunPixel);
            Count = 0;
        } else {
            ++TableMax;
            OutputPlain(BaseCode + int(Count) - 2);
            Count = 0;
        }
        n = OutCount == 0 ? 1 : n + 1;
    }
    ResetOutClear();
}

void TRLEEncoder::FlushClearOrRepeat(std::int64_t Count)
{
    if (1 + TriangleCount(Count, MaxOutCodes) < Count) {
        Clear();
        FlushFromClear(Count);
        return;
    }
    for (; Count > 0; --Count)
        OutputPlain(RunPixel);
}

void TRLEEncoder::FlushWithTable(std::int64_t Count)
{
    std::int64_t rep = Count / TableMax;
    std::int64_t left = Count % TableMax;
    std::int64_t repleft = left > 0 ? 1 : 0;
    if (OutCount + rep + repleft > MaxOutCodes) {
        rep = MaxOutCodes - OutCount;
        left = Count - rep * TableMax;
        repleft = 1 + TriangleCount(left, MaxOutCodes);
    }
    if (1 + TriangleCount(Count, MaxOutCodes) < rep + repleft) {
        Clear();
        FlushFromClear(Count);
        return;
    }
    OutClear = MaxOutCodes;
    for (; rep > 0; --rep)
        OutputPlain(BaseCode + TableMax - 2);
    if (left > 0) {
        if (ClearFlag)
            FlushFromClear(left);
        else if (left == 1)
            OutputPlain(RunPixel);
        else
            OutputPlain(BaseCode + int(left) - 2);
    }
    ResetOutClear();
}

void TRLEEncoder::FlushRun(std::int64_t Count)
{
    if (Count == 1)
        OutputPlain(RunPixel);
    else if (ClearFlag)
        FlushFromClear(Count);
    else if (TableMax >= 2 && TablePixel == RunPixel)
        FlushWithTable(Count);
    else
        FlushClearOrRepeat(Count);
}

void TRLEEncoder::Compress()
{
    OutBumpInit = ClearCode - 1;
    OutClearInit = BitsPerPixel <= 3 ? 9 : OutBumpInit - 1;
    MaxOutCodes = MaxTableCode - BaseCode;
    Clear();
    std::int64_t count = 0;
    RunPixel = -1;
    Pixel = Data;
    do {
        const int c = CheckedPixel();
        if (count > 0 && c != RunPixel) {
            FlushRun(count);
            count = 0;
        }
        if (c != RunPixel) {
            RunPixel = c;
            count = 1;
        } else {
            ++count;
        }
    } while (NextPixel());
    if (count > 0)
        FlushRun(count);
}

// ---------------------------------------------------------------- frames

void CompressFrame(TGIFSubImage &Frame, QIODevice &Stream)
{
    TGIFImage *image = Frame.Image();
    int bits, maxColor;
    if (Frame.ColorMap().Count() > 0) {
        maxColor = Frame.ColorMap().Count();
        bits = Frame.ColorMap().BitsPerPixel();
    } else {
        bits = image ? image->BitsPerPixel() : 8;
        maxColor = 1 << bits;
    }
    if (Frame.Data() && Frame.DataSize() < std::int64_t(Frame.Width()) * Frame.Height())
        Error("Invalid image dimensions");
    TGIFWarning warning;
    if (image)
        warning = [image, &Frame](int Severity, const std::string &Message) {
            image->Warning(&Frame, Severity, Message);
        };
    std::unique_ptr<TGIFEncoder> encoder;
    if (image && image->Compression == 1)
        encoder = std::make_unique<TRLEEncoder>(std::move(warning));
    else
        encoder = std::make_unique<TLZWEncoder>(std::move(warning));
    encoder->Encode(Stream, bits, maxColor, Frame.Data(), Frame.Interlaced(), Frame.Height(), Frame.Width());
}

void RegisterGIFWriter()
{
    SetGIFCompressor(CompressFrame);
    SetGIFColorReducer([](const QImage &Source, int ColorReduction, int DitherMode, int ReductionBits) {
        return ReduceColors(Source, ColorReduction, DitherMode, ReductionBits);
    });
}

} // namespace gif

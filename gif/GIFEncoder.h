#pragma once
// GIF image data: the LZW minimum code size byte, the codes packed into data
// sub-blocks of at most 255 bytes, and the zero-length terminator. Two
// encoders write it: true LZW with a hashed string table (the default) and a
// run-length coder whose output any standard LZW decoder reads, but which
// builds no dictionary beyond runs of one pixel value.
#include <QIODevice>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace gif {

// The image's warning operation (severity, message), handed on by the encoders.
using TGIFWarning = std::function<void(int Severity, const std::string &Message)>;

// A write-only stream: the ordinary stream operations raise
// "Invalid stream operation". Buffer[0] is the length byte of the sub-block
// being built, Buffer[1..255] its data.
class TGIFStream {
public:
    TGIFStream(QIODevice &Stream, TGIFWarning Warning = {});
    virtual ~TGIFStream() = default;
    TGIFStream(const TGIFStream &) = delete;
    TGIFStream &operator=(const TGIFStream &) = delete;

    virtual int Read(void *Buffer, int Count);
    virtual int Write(const void *Buffer, int Count);
    virtual std::int64_t Seek(std::int64_t Offset, int Origin);

protected:
    TGIFWarning Warning_;
    QIODevice &Stream;
    std::array<std::uint8_t, 256> Buffer{};
    int BufferCount = 1; // bytes used in Buffer including the length byte
};

// Cuts what is written into data sub-blocks on the target stream. Call
// Flush() at the end: the destructor only tries, and never throws.
class TGIFWriter : public TGIFStream {
public:
    explicit TGIFWriter(QIODevice &Stream, TGIFWarning Warning = {});
    ~TGIFWriter() override;

    int Write(const void *Buffer, int Count) override;
    void WriteByte(std::uint8_t Value)
    {
        NeedsFlush = true;
        Buffer[std::size_t(BufferCount++)] = Value;
        if (BufferCount == 256)
            Flush();
    }
    // Writes the partial sub-block, if it holds any data.
    void Flush();

private:
    bool NeedsFlush = false;
};

// The string table of the LZW encoder: an open-addressed hash of 8,009
// slots (a prime). A slot holds (key << 12) | code with key = (prefix << 8) |
// character; a slot whose upper 20 bits are all ones is empty.
class THashTable {
public:
    static constexpr int Size = 8009;
    THashTable() { Clear(); }
    void Clear() { Slots.fill(Empty); }
    void Insert(std::uint32_t Key, int Code);
    // The code stored for Key, or -1.
    int Lookup(std::uint32_t Key) const
    {
        int slot;
        return Find(Key, slot);
    }
    // Lookup that also gives the slot where it stopped: the key's slot, or
    // the empty slot where Store may put it.
    int Find(std::uint32_t Key, int &Slot) const
    {
        const int home = Hash(Key);
        const int step = Displacement(home);
        const std::uint32_t want = Key << 12;
        int slot = home;
        for (;;) {
            const std::uint32_t v = Slots[std::size_t(slot)];
            if (v == Empty || (v & KeyMask) == want) {
                Slot = slot;
                return v == Empty ? -1 : int(v & 0xFFF);
            }
            slot -= step;
            if (slot < 0)
                slot += Size;
        }
    }
    void Store(int Slot, std::uint32_t Key, int Code)
    {
        Slots[std::size_t(Slot)] = (Key << 12) | (std::uint32_t(Code) & 0xFFF);
    }

private:
    static constexpr std::uint32_t Empty = 0xFFFFFFFFu;
    static constexpr std::uint32_t KeyMask = 0xFFFFF000u;
    static int Hash(std::uint32_t Key) { return int(((Key >> 4) ^ Key) % Size); }
    // Probing steps a constant distance from the home slot, so every slot is
    // visited before any repeats (Size is prime).
    static int Displacement(int Home) { return Home == 0 ? 1 : Size - Home; }
    std::array<std::uint32_t, Size> Slots;
};

class TGIFEncoder {
public:
    explicit TGIFEncoder(TGIFWarning Warning = {}) : Warning_(std::move(Warning)) {}
    virtual ~TGIFEncoder() = default;
    TGIFEncoder(const TGIFEncoder &) = delete;
    TGIFEncoder &operator=(const TGIFEncoder &) = delete;

    // Encodes one frame of Width x Height pixels (one colour index a byte, rows
    // top down) to Stream. Every pixel must be below MaxColor and below
    // 2^BitsPerPixel ("Color not in color table"); BitsPerPixel below 2
    // counts as 2, above 8 raises "Invalid number of colors". Without data or
    // with an empty size only the end code is written. Interlaced frames are
    // written in the four-pass row order.
    void Encode(QIODevice &Stream, int BitsPerPixel, int MaxColor, const std::uint8_t *Data, bool Interlace,
                int Height, int Width);

protected:
    virtual void Output(int Code) { PutCode(Code); }
    virtual void Clear();
    virtual void Compress() = 0;

    // Appends Code at the current width to the bits; whole bytes go to the
    // writer, and the end code also flushes the last partial byte.
    void PutCode(int Code)
    {
        if (BitCount >= 1)
            BitBuffer = (BitBuffer & ((1u << BitCount) - 1)) | (std::uint32_t(Code) << BitCount);
        else
            BitBuffer = std::uint32_t(Code);
        BitCount += BitsPerCode;
        while (BitCount >= 8) {
            Writer->WriteByte(std::uint8_t(BitBuffer));
            BitBuffer >>= 8;
            BitCount -= 8;
        }
        if (Code == EOFCode) {
            while (BitCount > 0) {
                Writer->WriteByte(std::uint8_t(BitBuffer));
                BitBuffer >>= 8;
                BitCount -= 8;
            }
            BitCount = 0;
        }
    }

    // The next pixel's colour index, checked; false at the end of the frame.
    bool NextPixel();
    int CheckedPixel() const;

    TGIFWarning Warning_;
    int MaxColor = 0;
    int BitsPerPixel = 0;
    QIODevice *Stream = nullptr;
    int Width = 0;
    int Height = 0;
    bool Interlace = false;
    const std::uint8_t *Data = nullptr;
    std::unique_ptr<TGIFWriter> Writer;
    std::uint32_t BitBuffer = 0;
    int BitCount = 0;
    bool ClearFlag = false;
    int BitsPerCode = 0;
    int InitialBitsPerCode = 0;
    int MaxCode = 0;
    int ClearCode = 0;
    int EOFCode = 0;
    int BaseCode = 0;
    const std::uint8_t *Pixel = nullptr;
    std::int64_t Remaining = 0;
    int Row = 0;
    int Pass = 0;
    int Limit = 0; // pixels must stay below this: MaxColor, at most ClearCode
};

class TLZWEncoder : public TGIFEncoder {
public:
    using TGIFEncoder::TGIFEncoder;

protected:
    void Output(int Code) override { PutLZWCode(Code); }
    void Clear() override;
    void Compress() override;

private:
    // The code, then the width grows when the next free code needs it; a
    // clear code returns it to the initial width.
    void PutLZWCode(int Code)
    {
        PutCode(Code);
        if (FreeCode > MaxCode || ClearFlag) {
            if (ClearFlag) {
                BitsPerCode = InitialBitsPerCode;
                MaxCode = (1 << BitsPerCode) - 1;
                ClearFlag = false;
            } else {
                ++BitsPerCode;
                MaxCode = BitsPerCode == 12 ? 4096 : (1 << BitsPerCode) - 1;
            }
        }
    }

    int Prefix = 0;
    int FreeCode = 0;
    std::unique_ptr<THashTable> HashTable;
    // Two caches in front of the table, so that most strings are found
    // without the prime modulo and probing: per prefix code, the string last
    // found or made from it (character << 12 | code), then recent strings
    // direct-mapped by a cheap hash of the key (key << 12 | code).
    static constexpr int RecentSize = 4096;
    std::unique_ptr<std::uint32_t[]> Recent;
};

// Runs of one value become codes that a standard decoder's own table growth
// makes available (single pixels, then strings of 2, 3, ... of that value).
class TRLEEncoder : public TGIFEncoder {
public:
    using TGIFEncoder::TGIFEncoder;

protected:
    void Clear() override;
    void Compress() override;

private:
    void OutputPlain(int Code);
    void ResetOutClear();
    void FlushFromClear(std::int64_t Count);
    void FlushClearOrRepeat(std::int64_t Count);
    void FlushWithTable(std::int64_t Count);
    void FlushRun(std::int64_t Count);

    int MaxOutCodes = 0;
    int OutBumpInit = 0;
    int OutClearInit = 0;
    int RunPixel = -1;
    int TableMax = 0;
    int TablePixel = 0;
    int OutCount = 0;
    int OutClear = 0;
    int OutBump = 0;
};

class TGIFSubImage;

// Writes a frame's image data (the frames call it when they are saved): the
// local map's colours when it has any, else 2^bits of the image's largest
// map; the run-length encoder when the image's Compression is 1, else LZW.
void CompressFrame(TGIFSubImage &Frame, QIODevice &Stream);

// Start-up: installs CompressFrame as the frames' encoder and ReduceColors
// as the images' colour reducer.
void RegisterGIFWriter();

} // namespace gif

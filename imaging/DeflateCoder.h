#pragma once
// The deflate engine (RFC 1951) on plain buffers: the encoder that the PNG
// writer's output is fixed by, and a table-driven inflater. TDeflateStream
// wraps both as a filter stream.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace imaging {

// Receives the encoder's output.
class DeflateSink {
public:
    virtual ~DeflateSink() = default;
    virtual void Put(const std::uint8_t *data, std::size_t count) = 0;
};

// Collects the encoder's output in memory.
class VectorSink final : public DeflateSink {
public:
    std::vector<std::uint8_t> Data;
    void Put(const std::uint8_t *data, std::size_t count) override { Data.insert(Data.end(), data, data + count); }
};

enum : std::uint8_t { BlockDynamic = 0, BlockFixed = 1, BlockStored = 2 };

// Greedy encoder: every position is registered under the pair of bytes that
// ends at it; a match search looks at the 64 newest positions of the pair at
// the current byte, within 32,768 bytes, and keeps the first longest match.
// Data is coded only while at least 258 bytes are pending (or when finishing),
// so a full-length match can always be measured.
class DeflateEncoder {
public:
    explicit DeflateEncoder(DeflateSink &sink);
    ~DeflateEncoder();
    DeflateEncoder(const DeflateEncoder &) = delete;
    DeflateEncoder &operator=(const DeflateEncoder &) = delete;

    std::uint8_t BlockType() const noexcept { return blockType_; }
    // Closes an open block and codes pending data first when the type changes.
    void SetBlockType(std::uint8_t type);
    void Write(const void *data, std::size_t count);
    // Every byte written so far goes out as whole blocks (none marked final);
    // whole output bytes reach the sink, the last partial byte stays.
    void Flush();
    // Ends the data: the last block written carries BFINAL, the last byte is
    // padded with zero bits and everything reaches the sink. Write and Flush
    // are not allowed afterwards.
    void Finish();
    bool Finished() const noexcept { return finished_; }

private:
    struct Symbol {
        std::uint16_t Value;
        std::uint16_t Kind; // 0xFFFF literal/length, 0xFFFE distance, else raw bits of that count
    };

    void Run(bool finishing);
    void FixedStep(bool finishing);
    void DynamicStep(bool finishing);
    void WriteDynamicBlock(bool finishing);
    void WriteStoredBlock();
    std::uint32_t Search(std::uint32_t &distance) noexcept;
    void Consume(std::uint32_t count) noexcept;
    void Slide();

    void PutBits(std::uint64_t value, unsigned count) noexcept
    {
        bitBuf_ |= value << bitCount_;
        bitCount_ += count;
        if (bitCount_ >= 32) {
            const std::uint32_t w = static_cast<std::uint32_t>(bitBuf_);
            __builtin_memcpy(out_.data() + outLen_, &w, 4);
            outLen_ += 4;
            bitBuf_ >>= 32;
            bitCount_ -= 32;
        }
    }
    void ReserveOut();
    void AlignToByte() noexcept;
    void DrainWholeBytes() noexcept;
    void PushOut();

    DeflateSink &sink_;
    std::uint8_t blockType_ = BlockDynamic;
    bool blockOpen_ = false;
    bool finalBlock_ = false;
    bool finished_ = false;

    // Linear history: buf_[0] is absolute position base_; pending bytes are
    // [pos_, end_), the 32,768 bytes before pos_ stay for the search.
    std::vector<std::uint8_t> buf_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    std::uint32_t base_ = 0;  // absolute position of buf_[0] (modulo 2^32)
    std::uint32_t total_ = 0; // absolute position of buf_[pos_]

    // Per pair of bytes the newest position (a position stands for the pair
    // that ends at it), and per position the previous one of the same pair.
    std::vector<std::uint32_t> head_;
    std::vector<std::uint32_t> prev_;

    std::vector<Symbol> symbols_;
    std::size_t symbolCount_ = 0;

    std::vector<std::uint8_t> out_;
    std::size_t outLen_ = 0;
    std::uint64_t bitBuf_ = 0;
    unsigned bitCount_ = 0;
};

// Source of compressed bytes for the inflater's stream mode.
class InflateSource {
public:
    virtual ~InflateSource() = default;
    // Up to `count` bytes; 0 at the end of the data.
    virtual std::size_t Pull(std::uint8_t *data, std::size_t count) = 0;
    // Optional: the bytes Pull would deliver next, as far as they are at hand,
    // without taking them (count 0: none). Valid until the next call.
    virtual const std::uint8_t *Peek(std::size_t &count)
    {
        count = 0;
        return nullptr;
    }
    // Takes the first `count` bytes of what Peek showed.
    virtual void Skip(std::size_t count) { (void)count; }
};

// Table-driven inflater. In stream mode it takes input only when one of its
// bits is needed, so whatever follows the deflate data (the zlib trailer) is
// still in the source: it decodes in place from what the source can show
// (Peek) and takes exactly the bytes it used (Skip); a source that shows
// nothing is read one byte at a time.
class Inflater {
public:
    Inflater();
    ~Inflater();
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;

    // Memory mode: the whole compressed input.
    void SetInput(const std::uint8_t *data, std::size_t count) noexcept;
    // Bytes of the input that hold bits used so far (memory mode).
    std::size_t InputUsed() const noexcept;
    // Stream mode.
    void SetSource(InflateSource *source) noexcept { source_ = source; }

    // Up to `count` decoded bytes; fewer only once the final block has ended.
    // Bad data raises "Error in compressed data" or "Invalid Huffman code".
    std::size_t Read(std::uint8_t *data, std::size_t count);
    // The final block has ended and all its bytes were delivered.
    bool Finished() const noexcept { return state_ == Done && wend_ == wdel_; }
    // Decoded bytes waiting to be delivered.
    std::size_t Pending() const noexcept { return wend_ - wdel_; }
    // Input bytes taken from the source whose bits are not decoded yet.
    std::size_t HeldBytes() const noexcept { return (bits_ + 7) / 8; }

    struct Entry {
        std::uint16_t Value;
        std::uint8_t Bits;
        std::uint8_t Op;
    };

private:
    enum State { Header, Stored, Huffman, Done };
    template <class In> void Decode(In &in, std::size_t target);
    template <class In> void ReadHeader(In &in);
    template <class In> void ReadDynamicTables(In &in);
    template <class In> void DecodeHuffman(In &in, std::size_t target);
    template <class In> void CopyStored(In &in, std::size_t target);
    void MakeRoom();

    State state_ = Header;
    bool final_ = false;
    std::uint32_t storedLeft_ = 0;
    std::uint64_t total_ = 0; // bytes decoded so far

    const Entry *litTable_ = nullptr;
    const Entry *distTable_ = nullptr;
    // Allocated on the first dynamic block; every entry a lookup can reach is
    // written by the table build, so they start unset.
    std::unique_ptr<Entry[]> litOwn_, distOwn_;

    // Only bytes already decoded are ever read from it: not cleared.
    std::unique_ptr<std::uint8_t[]> win_;
    std::size_t wend_ = 0; // decoding appends here
    std::size_t wdel_ = 0; // next byte to deliver

    std::uint64_t acc_ = 0;
    unsigned bits_ = 0;
    const std::uint8_t *in_ = nullptr;
    const std::uint8_t *inEnd_ = nullptr;
    const std::uint8_t *inStart_ = nullptr;
    InflateSource *source_ = nullptr;

    friend struct MemInput;
    friend struct SourceInput;
};

// Convenience helpers on whole buffers.
std::vector<std::uint8_t> DeflateBuffer(const void *data, std::size_t count, std::uint8_t blockType);
std::vector<std::uint8_t> InflateBuffer(const std::uint8_t *data, std::size_t count,
                                        std::size_t *used = nullptr);

} // namespace imaging

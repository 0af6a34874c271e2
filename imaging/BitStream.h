#pragma once
// Bit fields over a byte stream, least significant bit first (the bit order
// of deflate data), and Huffman symbols read through a decoding tree.
#include "imaging/Huffman.h"
#include "imaging/Streams.h"

namespace imaging {

class TBitStream : public TFilterStream {
public:
    // Does not own Next; takes CanRead and CanWrite from it.
    explicit TBitStream(TBaseStream *Next);
    // Only tries to write the pending byte; Finish does it for sure.
    ~TBitStream() override;

    int WriteBitPos = 0; // bits placed in the pending output byte
    int ReadBitPos = 0;  // bits used of the current input byte (0: none fetched, 8: used up)
    std::uint8_t BitBuffer = 0;

    // The low Count bits of Value; Count above 32 raises EAssertionFailed,
    // below 1 writes nothing.
    void WriteBits(std::uint32_t Value, int Count);
    // Count bits into consecutive bytes of Target (the last byte's unused high
    // bits cleared); returns the bits delivered, fewer only when Next ran out.
    int ReadBits(void *Target, int Count);
    // One bit; the end of Next's data raises "Read less than expected".
    std::uint8_t ReadBit();

    // Writes the pending byte (unused high bits 0); on a reading stream drops
    // the rest of the current byte. Next is not flushed.
    void Flush() override;
    void Finish() override { Flush(); }
    int Available() override;
    const char *ClassName() const override { return "TBitStream"; }

protected:
    // The next input bit, fetching a byte when the current one is used up.
    bool NextBit(std::uint8_t &Bit);
};

class THuffmanBitStream : public TBitStream {
public:
    using TBitStream::TBitStream;
    // Walks the tree from its root one bit at a time to a symbol. A path into
    // a missing branch raises EAssertionFailed "Invalid Huffman code"; the end
    // of the data raises "Read less than expected".
    int DecodeSymbol(const THuffmanTree &Tree);
    const char *ClassName() const override { return "THuffmanBitStream"; }
};

} // namespace imaging

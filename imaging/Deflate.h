#pragma once
// The library's deflate coder as a filter stream: what is written to it is
// compressed into the next stream, what is read from it is inflated from the
// next stream. Raw deflate data only; the zlib wrapper is the PNG coder's.
#include "imaging/BitStream.h"
#include "imaging/DeflateCoder.h"

#include <memory>

namespace imaging {

class TDeflateStream : public THuffmanBitStream {
public:
    // Mode -1: writing when Next can write, else reading when it can read;
    // 1: writing only; 0: reading only. Anything else, or a direction Next
    // cannot do, raises EAssertionFailed. Does not own Next.
    TDeflateStream(TBaseStream *Next, int Mode = -1);
    // Only tries to finish a writing stream; call Finish to see its errors.
    ~TDeflateStream() override;

    // Compresses; returns Count. "Stream not open for write" on a reading stream.
    int Write(const void *Buffer, int Count) override;
    // Inflates up to Count bytes. After the final block: fewer bytes, or
    // "Read less than expected" while NoDataExcept is set.
    int Read(void *Buffer, int Count) override;
    // Writing: codes every byte written so far as whole blocks, none final;
    // the last partial byte stays. Next is not flushed.
    void Flush() override;
    // Writing: marks the last block final and writes the last partial byte.
    void Finish() override;
    int Available() override;

    // 0 dynamic Huffman (the default), 1 fixed Huffman, 2 stored. Pending data
    // and an open block are written out under the old type first.
    std::uint8_t BlockType() const noexcept { return encoder_ ? encoder_->BlockType() : blockType_; }
    void SetBlockType(std::uint8_t Value);
    // Reading: the final block has ended and everything was delivered.
    bool EndOfData() const noexcept { return inflater_ && inflater_->Finished(); }

    const char *ClassName() const override { return "TDeflateStream"; }

private:
    class NextSink;
    class NextSource;
    std::unique_ptr<NextSink> sink_;
    std::unique_ptr<NextSource> source_;
    std::unique_ptr<DeflateEncoder> encoder_;
    std::unique_ptr<Inflater> inflater_;
    std::uint8_t blockType_ = BlockDynamic;
};

} // namespace imaging

#pragma once
// A filter that keeps the CRC-32 of every byte passing through it, in either
// direction: the PNG coder's chunk checksum.
#include "imaging/CRC32Core.h"
#include "imaging/DeflatePeek.h"
#include "imaging/Streams.h"

namespace imaging {

// When the next stream can be peeked, so can this one: the bytes taken with
// Skip are folded like read ones.
class TCRC32Stream : public TFilterStream, public TPeekableStream {
public:
    // Does not own Next; takes CanRead and CanWrite from it.
    explicit TCRC32Stream(TBaseStream *Next);

    std::uint32_t CRC = 0xFFFFFFFFu; // the running register

    // Folds the bytes, then passes them on; returns what Next took.
    int Write(const void *Buffer, int Count) override;
    // Folds exactly the bytes Next delivered.
    int Read(void *Buffer, int Count) override;
    // Does nothing: in particular Next is not flushed.
    void Flush() override {}

    void ResetCRC() noexcept { CRC = 0xFFFFFFFFu; }
    // The finished CRC-32; the register is not changed.
    std::uint32_t GetCRC() const noexcept { return ~CRC; }
    void UpdateCRC(const void *Buffer, int Count) noexcept
    {
        if (Count > 0)
            CRC = CRC32Update(CRC, Buffer, static_cast<std::size_t>(Count));
    }
    const std::uint8_t *Peek(int &Count) override;
    void Skip(int Count) override;
    const char *ClassName() const override { return "TCRC32Stream"; }

private:
    const std::uint8_t *peeked_ = nullptr;
};

} // namespace imaging

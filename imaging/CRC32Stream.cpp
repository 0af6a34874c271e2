#include "imaging/CRC32Stream.h"

namespace imaging {

TCRC32Stream::TCRC32Stream(TBaseStream *NextStream) : TFilterStream(NextStream)
{
    CanRead = NextStream->CanRead;
    CanWrite = NextStream->CanWrite;
}

int TCRC32Stream::Write(const void *Buffer, int Count)
{
    UpdateCRC(Buffer, Count);
    return Next->Write(Buffer, Count);
}

int TCRC32Stream::Read(void *Buffer, int Count)
{
    const int got = Next->Read(Buffer, Count);
    UpdateCRC(Buffer, got);
    return got;
}

const std::uint8_t *TCRC32Stream::Peek(int &Count)
{
    auto *next = dynamic_cast<TPeekableStream *>(Next);
    peeked_ = next ? next->Peek(Count) : nullptr;
    if (!peeked_)
        Count = 0;
    return peeked_;
}

void TCRC32Stream::Skip(int Count)
{
    auto *next = dynamic_cast<TPeekableStream *>(Next);
    if (!next || Count <= 0)
        return;
    UpdateCRC(peeked_, Count);
    peeked_ += Count;
    next->Skip(Count);
}

} // namespace imaging

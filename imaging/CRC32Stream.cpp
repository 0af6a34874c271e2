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

} // namespace imaging

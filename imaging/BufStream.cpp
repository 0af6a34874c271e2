#include "imaging/BufStream.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace imaging {

namespace {

int BufferSize(int requested)
{
    if (requested == -1)
        return 65536;
    if (requested != 0 && requested < 2)
        throw EStreamCreate("Invalid buffer size");
    return requested;
}

} // namespace

TBufferedStream::TBufferedStream(int readSize, int writeSize, TBaseStream *next) : TFilterStream(next)
{
    Init(readSize, writeSize);
}

TBufferedStream::TBufferedStream(int readSize, int writeSize, std::unique_ptr<TBaseStream> next)
    : TFilterStream(std::move(next))
{
    Init(readSize, writeSize);
}

void TBufferedStream::Init(int readSize, int writeSize)
{
    CanRead = Next->CanRead;
    CanWrite = Next->CanWrite;
    NoDataExcept = Next->NoDataExcept;
    // Both sizes are checked before anything changes on Next.
    const int rs = CanRead ? BufferSize(readSize) : 0;
    const int ws = CanWrite ? BufferSize(writeSize) : 0;
    if (rs > 0)
        ReadBuffer_ = std::make_unique_for_overwrite<unsigned char[]>(static_cast<std::size_t>(rs));
    if (ws > 0)
        WriteBuffer_ = std::make_unique_for_overwrite<unsigned char[]>(static_cast<std::size_t>(ws));
    ReadBufferSize = rs;
    WriteBufferSize = ws;
    if (rs > 0) {
        ReadCheck = Next->NoDataExcept;
        Next->SetNoDataExcept(false);
    }
}

TBufferedStream::~TBufferedStream()
{
    try {
        Flush();
    } catch (...) {
        // Finish reports write failures; a destructor can only try.
    }
    RestoreNext();
}

void TBufferedStream::RestoreNext() noexcept
{
    if (ReadCheck) {
        ReadCheck = false;
        Next->SetNoDataExcept(true);
    }
}

void TBufferedStream::SetNoDataExcept(bool Value)
{
    NoDataExcept = Value;
    // With buffered reads Next must keep delivering short blocks quietly.
    if (ReadBufferSize == 0)
        Next->SetNoDataExcept(Value);
}

int TBufferedStream::Read(void *Buffer, int Count)
{
    CheckReadCount(Count);
    if (Count == 0)
        return 0;
    if (ReadBufferSize == 0)
        return Next->Read(Buffer, Count);
    auto *out = static_cast<unsigned char *>(Buffer);
    const int avail = ReadCount - ReadPos;
    if (avail >= Count) {
        std::memcpy(out, ReadBuffer_.get() + ReadPos, static_cast<std::size_t>(Count));
        ReadPos += Count;
        return Count;
    }
    if (avail > 0)
        std::memcpy(out, ReadBuffer_.get() + ReadPos, static_cast<std::size_t>(avail));
    ReadPos = ReadCount = 0;
    const int rest = Count - avail;
    if (rest < ReadBufferSize) {
        int got = Next->Read(ReadBuffer_.get(), ReadBufferSize);
        if (got < 0)
            got = 0;
        if (got < rest) {
            std::memcpy(out + avail, ReadBuffer_.get(), static_cast<std::size_t>(got));
            if (NoDataExcept)
                throw EInOutError(kReadLessThanExpected);
            return avail + got;
        }
        std::memcpy(out + avail, ReadBuffer_.get(), static_cast<std::size_t>(rest));
        ReadCount = got;
        ReadPos = rest;
        return Count;
    }
    int got = Next->Read(out + avail, rest);
    if (got < 0)
        got = 0;
    if (got < rest && NoDataExcept)
        throw EInOutError(kReadLessThanExpected);
    return avail + got;
}

const std::uint8_t *TBufferedStream::Peek(int &Count)
{
    Count = 0;
    if (ReadBufferSize == 0) {
        auto *next = dynamic_cast<TPeekableStream *>(Next);
        return next ? next->Peek(Count) : nullptr;
    }
    if (ReadPos >= ReadCount) {
        ReadPos = ReadCount = 0;
        const int got = Next->Read(ReadBuffer_.get(), ReadBufferSize);
        ReadCount = got > 0 ? got : 0;
    }
    Count = ReadCount - ReadPos;
    return Count > 0 ? ReadBuffer_.get() + ReadPos : nullptr;
}

void TBufferedStream::Skip(int Count)
{
    if (Count <= 0)
        return;
    if (ReadBufferSize == 0) {
        if (auto *next = dynamic_cast<TPeekableStream *>(Next))
            next->Skip(Count);
        return;
    }
    ReadPos += std::min(Count, ReadCount - ReadPos);
}

void TBufferedStream::WriteAll(const unsigned char *data, int count)
{
    // A next stream that takes less than offered would lose the rest.
    if (Next->Write(data, count) != count)
        throw EInOutError(kReadLessThanExpected);
}

int TBufferedStream::Write(const void *Buffer, int Count)
{
    if (Count <= 0)
        return 0;
    if (WriteBufferSize == 0)
        return Next->Write(Buffer, Count);
    const auto *in = static_cast<const unsigned char *>(Buffer);
    const int free = WriteBufferSize - WriteCount;
    if (Count <= free) {
        std::memcpy(WriteBuffer_.get() + WriteCount, in, static_cast<std::size_t>(Count));
        WriteCount += Count;
        return Count;
    }
    std::memcpy(WriteBuffer_.get() + WriteCount, in, static_cast<std::size_t>(free));
    WriteCount = 0; // on failure the block is gone either way; never written twice
    WriteAll(WriteBuffer_.get(), WriteBufferSize);
    const int rest = Count - free;
    if (rest < WriteBufferSize) {
        std::memcpy(WriteBuffer_.get(), in + free, static_cast<std::size_t>(rest));
        WriteCount = rest;
    } else {
        WriteAll(in + free, rest);
    }
    return Count;
}

void TBufferedStream::Flush()
{
    if (WriteCount > 0) {
        const int n = WriteCount;
        WriteCount = 0;
        WriteAll(WriteBuffer_.get(), n);
    }
}

void TBufferedStream::Finish()
{
    Flush();
    RestoreNext();
}

int TBufferedStream::Available()
{
    const long long total = static_cast<long long>(Next->Available()) + ReadCount - ReadPos;
    return total > INT_MAX ? INT_MAX : static_cast<int>(total);
}

} // namespace imaging

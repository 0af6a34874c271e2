#include "imaging/Deflate.h"

#include "imaging/DeflatePeek.h"

#include <climits>

namespace imaging {

class TDeflateStream::NextSink final : public DeflateSink {
public:
    explicit NextSink(TBaseStream *next) : next_(next) {}
    void Put(const std::uint8_t *data, std::size_t count) override
    {
        while (count > 0) {
            const int n = static_cast<int>(count > INT_MAX ? INT_MAX : count);
            if (next_->Write(data, n) != n)
                throw EInOutError(kReadLessThanExpected);
            data += n;
            count -= static_cast<std::size_t>(n);
        }
    }

private:
    TBaseStream *next_;
};

class TDeflateStream::NextSource final : public InflateSource {
public:
    explicit NextSource(TBaseStream *next) : next_(next), peek_(dynamic_cast<TPeekableStream *>(next)) {}
    std::size_t Pull(std::uint8_t *data, std::size_t count) override
    {
        const int n = static_cast<int>(count > INT_MAX ? INT_MAX : count);
        const int got = next_->Read(data, n);
        return got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    const std::uint8_t *Peek(std::size_t &count) override
    {
        int n = 0;
        const std::uint8_t *p = peek_ ? peek_->Peek(n) : nullptr;
        count = p && n > 0 ? static_cast<std::size_t>(n) : 0;
        return p;
    }
    void Skip(std::size_t count) override
    {
        if (peek_ && count > 0)
            peek_->Skip(static_cast<int>(count));
    }

private:
    TBaseStream *next_;
    TPeekableStream *peek_;
};

TDeflateStream::TDeflateStream(TBaseStream *NextStream, int Mode) : THuffmanBitStream(NextStream)
{
    CanRead = CanWrite = false;
    const bool write = (Mode == -1 || Mode == 1) && NextStream->CanWrite;
    const bool read = !write && (Mode == -1 || Mode == 0) && NextStream->CanRead;
    if (write) {
        sink_ = std::make_unique<NextSink>(NextStream);
        encoder_ = std::make_unique<DeflateEncoder>(*sink_);
        CanWrite = true;
    } else if (read) {
        source_ = std::make_unique<NextSource>(NextStream);
        inflater_ = std::make_unique<Inflater>();
        inflater_->SetSource(source_.get());
        CanRead = true;
    } else {
        throw platform::EAssertionFailed("Deflate stream needs a readable or writable stream");
    }
}

TDeflateStream::~TDeflateStream()
{
    try {
        if (encoder_ && CanWrite)
            encoder_->Finish();
    } catch (...) {
    }
}

int TDeflateStream::Write(const void *Buffer, int Count)
{
    if (!CanWrite || !encoder_ || encoder_->Finished())
        throw EInOutError("Stream not open for write");
    if (Count > 0)
        encoder_->Write(Buffer, static_cast<std::size_t>(Count));
    return Count;
}

int TDeflateStream::Read(void *Buffer, int Count)
{
    CanWrite = false;
    CheckReadCount(Count);
    if (!inflater_ || Count == 0)
        return 0;
    const std::size_t got = inflater_->Read(static_cast<std::uint8_t *>(Buffer), static_cast<std::size_t>(Count));
    if (got < static_cast<std::size_t>(Count) && NoDataExcept)
        throw EInOutError(kReadLessThanExpected);
    return static_cast<int>(got);
}

void TDeflateStream::Flush()
{
    if (CanWrite && encoder_ && !encoder_->Finished())
        encoder_->Flush();
}

void TDeflateStream::Finish()
{
    if (CanWrite && encoder_)
        encoder_->Finish();
}

int TDeflateStream::Available()
{
    // The bits the inflater holds count too: the last symbols of the data can
    // sit there after the next stream is drained, and a copy stops at 0.
    const long long n = static_cast<long long>(Next->Available()) +
                        (inflater_ ? static_cast<long long>(inflater_->Pending() + (inflater_->Finished() ? 0 : inflater_->HeldBytes())) : 0);
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

void TDeflateStream::SetBlockType(std::uint8_t Value)
{
    if (encoder_)
        encoder_->SetBlockType(Value);
    else if (Value > BlockStored)
        throw platform::EAssertionFailed("Invalid deflate block type");
    blockType_ = Value;
}

} // namespace imaging

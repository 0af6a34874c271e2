#pragma once
// A buffering filter: reads the next stream in large blocks and collects
// small writes into large ones. Its read buffer can be looked at in place.
#include "imaging/DeflatePeek.h"
#include "imaging/Streams.h"

#include <memory>

namespace imaging {

class TBufferedStream : public TFilterStream, public TPeekableStream {
public:
    // Buffer sizes: -1 = 65,536 bytes, 0 = not buffered; a size of 1 (or any
    // negative size but -1) raises "Invalid buffer size". A direction the next
    // stream cannot do is never buffered.
    TBufferedStream(int ReadBufferSize, int WriteBufferSize, TBaseStream *Next);
    TBufferedStream(int ReadBufferSize, int WriteBufferSize, std::unique_ptr<TBaseStream> Next);
    ~TBufferedStream() override;

    // Buffered reads check short reads here, so Next's NoDataExcept stays off
    // (a last block is naturally short) until Finish or destruction restore
    // it; ReadCheck tells whether it was on.
    bool ReadCheck = false;
    int ReadPos = 0;
    int ReadCount = 0;
    int ReadBufferSize = 0;
    int WriteCount = 0;
    int WriteBufferSize = 0;

    void SetNoDataExcept(bool Value) override;
    int Write(const void *Buffer, int Count) override;
    int Read(void *Buffer, int Count) override;
    int Available() override;
    // Hands the waiting bytes to Next (without flushing Next itself).
    void Flush() override;
    // Flushes and gives Next its NoDataExcept back.
    void Finish() override;
    // The buffered bytes, refilling an empty buffer first; without a read
    // buffer, what Next shows when it can be peeked.
    const std::uint8_t *Peek(int &Count) override;
    void Skip(int Count) override;
    const char *ClassName() const override { return "TBufferedStream"; }

private:
    void Init(int readSize, int writeSize);
    void WriteAll(const unsigned char *data, int count);
    void RestoreNext() noexcept;

    std::unique_ptr<unsigned char[]> ReadBuffer_;
    std::unique_ptr<unsigned char[]> WriteBuffer_;
};

} // namespace imaging

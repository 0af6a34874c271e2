#pragma once
// The image library's own byte streams: an abstract stream, a filter that
// forwards to a next stream (base of the checksum, bit, deflate, buffering and
// text streams), a seekable stream and a file stream over POSIX descriptors.
//
// Counts and positions are 32-bit, as every format of the library expects;
// the file stream works with 64-bit offsets inside and raises where a value
// does not fit.
//
// Ownership: a filter refers to its next stream; it owns it only when built
// with the std::unique_ptr constructor. FreeFilterChain finishes a chain
// outermost first (final writes may raise there) and then frees it.
// Destructors never raise: they only try to complete what Finish would do.
#include "platform/core/Exceptions.h"

#include <cstdint>
#include <memory>
#include <string>

namespace imaging {

using platform::EInOutError;
using platform::EStreamError;
using platform::Exception;

// A buffer size that cannot work.
KSS_DECLARE_EXCEPTION(EStreamCreate, Exception)

// The text of every short transfer while NoDataExcept is set.
inline constexpr const char *kReadLessThanExpected = "Read less than expected";

// Every Read starts here: a negative count is a size that overflowed on its
// way to the read, and reading nothing would let the caller go on with a
// buffer it never filled. Raises "Error reading from stream - Invalid argument".
void CheckReadCount(int Count);

class TBaseStream {
public:
    TBaseStream() = default;
    virtual ~TBaseStream() = default;
    TBaseStream(const TBaseStream &) = delete;
    TBaseStream &operator=(const TBaseStream &) = delete;

    bool CanWrite = false;
    bool CanRead = false;
    // True: a Read or Write that moves fewer bytes than asked raises
    // "Read less than expected".
    bool NoDataExcept = true;

    virtual void SetNoDataExcept(bool Value) { NoDataExcept = Value; }
    // Returns the bytes written / read. A negative Count writes nothing; a
    // read of a negative Count raises (see CheckReadCount).
    virtual int Write(const void *Buffer, int Count) = 0;
    virtual int Read(void *Buffer, int Count) = 0;
    virtual bool EndOfStream() { return Available() == 0; }
    // Bytes that can still be read (a hint: a read may still deliver fewer).
    virtual int Available() = 0;
    virtual void Flush() {}
    // Appends all of Source; stops when Source ends or delivers nothing.
    // Source's NoDataExcept is off during the copy and restored on every path.
    virtual void CopyFrom(TBaseStream &Source);
    // Completes the stream: final writes happen here and may raise. Called
    // by FreeFilterChain; a finished stream is not used any further.
    virtual void Finish() {}
    virtual const char *ClassName() const { return "TBaseStream"; }
};

// Switches a stream's NoDataExcept off for a bulk transfer and restores it on
// every path, exceptions included (only when it was set).
class TNoDataExceptOff {
public:
    explicit TNoDataExceptOff(TBaseStream &Stream) : s_(Stream), was_(Stream.NoDataExcept)
    {
        if (was_)
            s_.SetNoDataExcept(false);
    }
    ~TNoDataExceptOff()
    {
        if (was_)
            s_.SetNoDataExcept(true);
    }
    TNoDataExceptOff(const TNoDataExceptOff &) = delete;
    TNoDataExceptOff &operator=(const TNoDataExceptOff &) = delete;

private:
    TBaseStream &s_;
    bool was_;
};

class TFilterStream : public TBaseStream {
public:
    // Refers to Next without owning it.
    explicit TFilterStream(TBaseStream *Next);
    // Owns Next: it is freed after this stream.
    explicit TFilterStream(std::unique_ptr<TBaseStream> Next);
    ~TFilterStream() override;

    TBaseStream *Next = nullptr;
    // Whether this filter owns Next (FreeFilterChain goes on through it).
    bool OwnsNext() const { return OwnedNext_ != nullptr; }

    void SetNoDataExcept(bool Value) override;
    int Write(const void *Buffer, int Count) override;
    int Read(void *Buffer, int Count) override;
    int Available() override;
    const char *ClassName() const override { return "TFilterStream"; }

private:
    std::unique_ptr<TBaseStream> OwnedNext_;
};

class TSeekableStream : public TBaseStream {
public:
    virtual int Position() = 0;
    virtual int Size() = 0;
    virtual void Seek(int Pos) = 0;
    // Ends the stream at the current position.
    virtual void Truncate() = 0;
    const char *ClassName() const override { return "TSeekableStream"; }
};

// Open-mode bits of TFileStream.
enum : int {
    fmRead = 1,
    fmWrite = 2,
    fmCreate = 4,       // create always (truncate); without it the file must exist
    fmShareRead = 8,    // others may read
    fmShareWrite = 16,  // others may write
};

// A file of the operating system. POSIX has no mandatory sharing modes, so
// the share bits are accepted and have no effect; descriptors are opened
// close-on-exec so that started programs do not inherit them.
class TFileStream : public TSeekableStream {
public:
    TFileStream(const std::string &FileName, int Mode);
    // Takes over an open descriptor; see CreateFromHandle.
    struct AdoptHandle {};
    TFileStream(AdoptHandle, int Handle);
    // Wraps an open descriptor (readable and writable, FileName empty); the
    // stream owns it from now on. -1 raises the error of the last call.
    static std::unique_ptr<TFileStream> CreateFromHandle(int Handle);
    ~TFileStream() override;

    int Handle = -1;
    std::string FileName;

    int Write(const void *Buffer, int Count) override;
    int Read(void *Buffer, int Count) override;
    int Available() override;
    void Flush() override;
    int Position() override;
    int Size() override;
    void Seek(int Pos) override;
    void Truncate() override;
    // Closes the descriptor (a failing close raises "Error closing ...").
    void Finish() override;
    // Closes the descriptor and deletes the file. The stream stays an empty
    // shell for its owner to free.
    void CloseAndDelete();
    const char *ClassName() const override { return "TFileStream"; }

private:
    std::int64_t Position64();
    std::int64_t Size64();
};

// Finishes Stream and every stream it owns behind it, outermost first, then
// frees them (outermost first too). The first failure of a Finish is raised
// after everything is freed. A null Stream does nothing.
void FreeFilterChain(std::unique_ptr<TBaseStream> Stream);

// Moves up to Count bytes from Source to Dest (null Dest: reads and drops
// them). Stops early when Source ends or a read delivers nothing. Returns the
// bytes moved. A short write to Dest raises.
std::int64_t CopyStreamData(TBaseStream &Source, TBaseStream *Dest, std::int64_t Count);

// A buffered file: for writing a 64 KiB write buffer over the file created
// with mode 15, otherwise a 64 KiB read buffer over the file opened with
// mode 9. Release with FreeFilterChain so the last buffer reaches the file.
std::unique_ptr<TBaseStream> OpenBufferedFile(const std::string &FileName, bool ForWrite);

} // namespace imaging

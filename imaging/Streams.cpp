#include "imaging/Streams.h"

#include "imaging/BufStream.h"
#include "platform/core/FileWrite.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace imaging {

namespace {

std::string SysText(int err) { return std::strerror(err); }

int ClampToInt(std::int64_t v)
{
    if (v < 0)
        return 0;
    return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

} // namespace

void CheckReadCount(int Count)
{
    if (Count < 0)
        throw EInOutError("Error reading from stream - " + SysText(EINVAL));
}

// ---------------------------------------------------------------- TBaseStream

void TBaseStream::CopyFrom(TBaseStream &Source)
{
    TNoDataExceptOff off(Source);
    char buffer[4096];
    while (!Source.EndOfStream()) {
        const int got = Source.Read(buffer, sizeof buffer);
        // A source may claim more than it can deliver (an inflater after its
        // final block does): nothing read means nothing more to copy.
        if (got <= 0)
            break;
        if (Write(buffer, got) != got)
            throw EInOutError(kReadLessThanExpected);
    }
}

// -------------------------------------------------------------- TFilterStream

TFilterStream::TFilterStream(TBaseStream *NextStream) : Next(NextStream) {}

TFilterStream::TFilterStream(std::unique_ptr<TBaseStream> NextStream)
    : Next(NextStream.get()), OwnedNext_(std::move(NextStream))
{
}

TFilterStream::~TFilterStream() = default;

void TFilterStream::SetNoDataExcept(bool Value)
{
    NoDataExcept = Value;
    if (Next)
        Next->SetNoDataExcept(Value);
}

int TFilterStream::Write(const void *Buffer, int Count) { return Next->Write(Buffer, Count); }
int TFilterStream::Read(void *Buffer, int Count) { return Next->Read(Buffer, Count); }
int TFilterStream::Available() { return Next->Available(); }

// ---------------------------------------------------------------- TFileStream

TFileStream::TFileStream(const std::string &Name, int Mode) : FileName(Name)
{
    const bool read = (Mode & fmRead) != 0, write = (Mode & fmWrite) != 0;
    if (!read && !write)
        throw EInOutError("Either read, write or full access must be specified in call to CreateFile");
    CanRead = read;
    CanWrite = write;
    int flags = O_CLOEXEC | (read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY);
    if (Mode & fmCreate)
        flags |= O_CREAT | O_TRUNC;
    int fd;
    do
        fd = ::open(Name.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw EInOutError("Error opening \"" + Name + "\" - " + SysText(errno));
    Handle = fd;
}

TFileStream::TFileStream(AdoptHandle, int fd)
{
    Handle = fd;
    CanRead = true;
    CanWrite = true;
}

std::unique_ptr<TFileStream> TFileStream::CreateFromHandle(int fd)
{
    if (fd < 0) {
        const int err = errno ? errno : EBADF;
        throw EInOutError(SysText(err));
    }
    return std::make_unique<TFileStream>(AdoptHandle{}, fd);
}

TFileStream::~TFileStream()
{
    if (Handle >= 0)
        ::close(Handle);
}

int TFileStream::Write(const void *Buffer, int Count)
{
    if (Count <= 0)
        return 0;
    const std::size_t want = static_cast<std::size_t>(Count);
    std::size_t done = 0;
    const int err = platform::WriteAll(Handle, Buffer, want, done);
    if (err != 0 && err != EIO)
        throw EInOutError("Error writing to stream - " + SysText(err));
    if (done < want && NoDataExcept)
        throw EInOutError(kReadLessThanExpected);
    return static_cast<int>(done);
}

int TFileStream::Read(void *Buffer, int Count)
{
    CheckReadCount(Count);
    if (Count == 0)
        return 0;
    char *p = static_cast<char *>(Buffer);
    std::size_t done = 0, want = static_cast<std::size_t>(Count);
    while (done < want) {
        const ssize_t n = ::read(Handle, p + done, want - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EInOutError("Error reading from stream - " + SysText(errno));
        }
        if (n == 0)
            break; // end of file
        done += static_cast<std::size_t>(n);
    }
    if (done < want && NoDataExcept)
        throw EInOutError(kReadLessThanExpected);
    return static_cast<int>(done);
}

std::int64_t TFileStream::Position64()
{
    const off_t pos = ::lseek(Handle, 0, SEEK_CUR);
    if (pos < 0)
        throw EInOutError("IO-error: " + SysText(errno));
    return pos;
}

std::int64_t TFileStream::Size64()
{
    struct stat st {};
    if (::fstat(Handle, &st) != 0)
        throw EInOutError("IO-error: " + SysText(errno));
    return st.st_size;
}

int TFileStream::Available() { return ClampToInt(Size64() - Position64()); }

void TFileStream::Flush()
{
    if (Handle >= 0)
        (void)::fsync(Handle);
}

int TFileStream::Position()
{
    const std::int64_t pos = Position64();
    if (pos > INT_MAX)
        throw EInOutError("IO-error: " + SysText(EOVERFLOW));
    return static_cast<int>(pos);
}

int TFileStream::Size()
{
    const std::int64_t size = Size64();
    if (size > INT_MAX)
        throw EInOutError("IO-error: " + SysText(EOVERFLOW));
    return static_cast<int>(size);
}

void TFileStream::Seek(int Pos)
{
    if (::lseek(Handle, static_cast<off_t>(Pos), SEEK_SET) < 0)
        throw EInOutError("Error moving file pointer - " + SysText(errno));
}

void TFileStream::Truncate()
{
    const std::int64_t pos = Position64();
    int rc;
    do
        rc = ::ftruncate(Handle, static_cast<off_t>(pos));
    while (rc != 0 && errno == EINTR);
    if (rc != 0)
        throw EInOutError("Error truncating file \"" + FileName + "\" - " + SysText(errno));
}

void TFileStream::Finish()
{
    if (Handle < 0)
        return;
    const int fd = Handle;
    Handle = -1; // closed whatever close() reports
    if (::close(fd) != 0 && errno != EINTR)
        throw EInOutError("Error closing \"" + FileName + "\" - " + SysText(errno));
}

void TFileStream::CloseAndDelete()
{
    Finish();
    if (::unlink(FileName.c_str()) != 0)
        throw EInOutError("Error deleting \"" + FileName + "\" - " + SysText(errno));
}

// -------------------------------------------------------------------- helpers

void FreeFilterChain(std::unique_ptr<TBaseStream> Stream)
{
    std::exception_ptr first;
    for (TBaseStream *s = Stream.get(); s != nullptr;) {
        try {
            s->Finish();
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
        auto *filter = dynamic_cast<TFilterStream *>(s);
        s = filter && filter->OwnsNext() ? filter->Next : nullptr;
    }
    Stream.reset();
    if (first)
        std::rethrow_exception(first);
}

std::int64_t CopyStreamData(TBaseStream &Source, TBaseStream *Dest, std::int64_t Count)
{
    char buffer[4096];
    std::int64_t done = 0;
    while (done < Count && !Source.EndOfStream()) {
        const int want = static_cast<int>(std::min<std::int64_t>(Count - done, sizeof buffer));
        const int got = Source.Read(buffer, want);
        if (got <= 0)
            break; // the source claimed more than it had
        if (Dest && Dest->Write(buffer, got) != got)
            throw EInOutError(kReadLessThanExpected);
        done += got;
    }
    return done;
}

std::unique_ptr<TBaseStream> OpenBufferedFile(const std::string &FileName, bool ForWrite)
{
    if (ForWrite)
        return std::make_unique<TBufferedStream>(
            0, -1, std::make_unique<TFileStream>(FileName, fmRead | fmWrite | fmCreate | fmShareRead));
    return std::make_unique<TBufferedStream>(-1, 0, std::make_unique<TFileStream>(FileName, fmRead | fmShareRead));
}

} // namespace imaging

#include "imaging/HostStream.h"

#include <QBuffer>
#include <QFileDevice>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace imaging {

namespace {

QIODevice::OpenMode ModeOf(const TBaseStream &s)
{
    QIODevice::OpenMode mode = QIODevice::Unbuffered;
    if (s.CanRead)
        mode |= QIODevice::ReadOnly;
    if (s.CanWrite)
        mode |= QIODevice::WriteOnly;
    return mode;
}

int CheckedInt(qint64 v)
{
    if (v < 0 || v > INT_MAX)
        throw EInOutError(std::string("IO-error: ") + std::strerror(EOVERFLOW));
    return static_cast<int>(v);
}

} // namespace

// ---------------------------------------------------------------- THostStream

THostStream::THostStream(TBaseStream &s) : Stream(s)
{
    Stream.SetNoDataExcept(false);
    QIODevice::open(ModeOf(s));
}

qint64 THostStream::Seek(qint64, int) { throw EStreamError("Seeking not supported"); }

bool THostStream::seek(qint64)
{
    setErrorString(QStringLiteral("Seeking not supported"));
    return false;
}

qint64 THostStream::bytesAvailable() const
{
    try {
        return Stream.Available() + QIODevice::bytesAvailable();
    } catch (const std::exception &) {
        return QIODevice::bytesAvailable();
    }
}

qint64 THostStream::readData(char *data, qint64 maxSize)
{
    try {
        qint64 done = 0;
        while (done < maxSize) {
            const int want = static_cast<int>(std::min<qint64>(maxSize - done, 1 << 30));
            const int got = Stream.Read(data + done, want);
            if (got <= 0)
                break;
            done += got;
            if (got < want)
                break;
        }
        return done;
    } catch (const std::exception &e) {
        setErrorString(QString::fromUtf8(e.what()));
        return -1;
    }
}

qint64 THostStream::writeData(const char *data, qint64 maxSize)
{
    try {
        qint64 done = 0;
        while (done < maxSize) {
            const int want = static_cast<int>(std::min<qint64>(maxSize - done, 1 << 30));
            const int put = Stream.Write(data + done, want);
            if (put <= 0)
                break;
            done += put;
        }
        return done;
    } catch (const std::exception &e) {
        setErrorString(QString::fromUtf8(e.what()));
        return -1;
    }
}

// -------------------------------------------------------- TSeekableHostStream

TSeekableHostStream::TSeekableHostStream(TSeekableStream &s) : THostStream(s) {}

qint64 TSeekableHostStream::Seek(qint64 Offset, int Origin)
{
    qint64 target;
    switch (Origin) {
    case 0: target = Offset; break;
    case 1: target = Seekable().Position() + Offset; break;
    case 2: target = Seekable().Size() + Offset; break;
    default: throw EStreamError("Unknown seek origin");
    }
    if (target < INT_MIN || target > INT_MAX)
        throw EStreamError("Error moving stream pointer");
    Seekable().Seek(static_cast<int>(target));
    QIODevice::seek(target); // keeps Qt's idea of the position in step
    return target;
}

void TSeekableHostStream::SetSize(qint64 NewSize)
{
    TSeekableStream &s = Seekable();
    // Growing has no effect on these streams (a seek past the end writes
    // nothing), so only a cut does anything.
    if (s.Size() > NewSize) {
        const qint64 pos = s.Position();
        Seek(NewSize, 0);
        s.Truncate();
        if (pos < NewSize)
            Seek(pos, 0);
    }
}

qint64 TSeekableHostStream::size() const
{
    try {
        return Seekable().Size();
    } catch (const std::exception &) {
        return 0;
    }
}

qint64 TSeekableHostStream::bytesAvailable() const { return QIODevice::bytesAvailable(); }

bool TSeekableHostStream::seek(qint64 pos)
{
    try {
        if (pos < 0 || pos > INT_MAX)
            return false;
        Seekable().Seek(static_cast<int>(pos));
        return QIODevice::seek(pos);
    } catch (const std::exception &e) {
        setErrorString(QString::fromUtf8(e.what()));
        return false;
    }
}

// ---------------------------------------------------------- THostFilterStream

THostFilterStream::THostFilterStream(QIODevice &s) : Stream(s)
{
    CanRead = true;
    CanWrite = true;
}

int THostFilterStream::Read(void *Buffer, int Count)
{
    CheckReadCount(Count);
    if (Count == 0)
        return 0;
    char *p = static_cast<char *>(Buffer);
    qint64 done = 0;
    while (done < Count) {
        const qint64 got = Stream.read(p + done, Count - done);
        if (got < 0)
            throw EStreamError("Error reading from stream - " + Stream.errorString().toStdString());
        if (got == 0)
            break;
        done += got;
    }
    if (done < Count && NoDataExcept)
        throw EInOutError(kReadLessThanExpected);
    return static_cast<int>(done);
}

int THostFilterStream::Write(const void *Buffer, int Count)
{
    if (Count <= 0)
        return 0;
    const char *p = static_cast<const char *>(Buffer);
    qint64 done = 0;
    while (done < Count) {
        const qint64 put = Stream.write(p + done, Count - done);
        if (put <= 0)
            throw EStreamError("Error writing to stream - " + Stream.errorString().toStdString());
        done += put;
    }
    return Count;
}

int THostFilterStream::Available()
{
    const qint64 left = Stream.isSequential() ? Stream.bytesAvailable() : Stream.size() - Stream.pos();
    return static_cast<int>(std::clamp<qint64>(left, 0, INT_MAX));
}

int THostFilterStream::Position() { return CheckedInt(Stream.pos()); }
int THostFilterStream::Size() { return CheckedInt(Stream.size()); }

void THostFilterStream::Seek(int Pos)
{
    if (!Stream.seek(Pos))
        throw EStreamError("Error moving stream pointer");
}

void THostFilterStream::Truncate()
{
    const qint64 pos = Stream.pos();
    if (auto *file = qobject_cast<QFileDevice *>(&Stream)) {
        if (!file->resize(pos))
            throw EStreamError("Error truncating file \"" + file->fileName().toStdString() + "\" - " +
                               file->errorString().toStdString());
        return;
    }
    if (auto *buffer = qobject_cast<QBuffer *>(&Stream)) {
        buffer->buffer().truncate(pos);
        return;
    }
    throw EStreamError("Truncating not supported");
}

} // namespace imaging

#pragma once
// Adapters between the library's streams and Qt's QIODevice: THostStream and
// TSeekableHostStream show a library stream to Qt code (a QImageReader, a
// QImage::save), THostFilterStream shows a QIODevice (QFile, QBuffer) to the
// library.
//
// Qt calls the QIODevice virtuals and cannot take exceptions through its own
// frames, so those overrides turn a library exception into Qt's error
// convention (-1 or false, with errorString()). The explicit operations of
// this header (Seek, SetSize) raise.
#include "imaging/Streams.h"

#include <QIODevice>

namespace imaging {

class THostStream : public QIODevice {
public:
    // Opens the device for what Stream can do and switches Stream's
    // NoDataExcept off: Qt asks for more than exists as a matter of course.
    explicit THostStream(TBaseStream &Stream);

    TBaseStream &Stream;

    // Origin 0 = from the start, 1 = from the current position, 2 = from the
    // end. This class cannot seek: raises EStreamError "Seeking not supported".
    virtual qint64 Seek(qint64 Offset, int Origin);

    bool isSequential() const override { return true; }
    bool seek(qint64 pos) override;
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;
};

class TSeekableHostStream : public THostStream {
public:
    explicit TSeekableHostStream(TSeekableStream &Stream);

    // Raises "Unknown seek origin" for an origin other than 0, 1, 2, and
    // whatever the stream raises for a bad target. Returns the target.
    qint64 Seek(qint64 Offset, int Origin) override;
    // Cuts the stream at NewSize (keeping the position when it lies below,
    // else ending there); a stream not longer than NewSize stays as it is.
    void SetSize(qint64 NewSize);

    bool isSequential() const override { return false; }
    qint64 size() const override;
    // What lies between Qt's position and the end; the base would add Qt's
    // own count of it to the stream's and report it twice.
    qint64 bytesAvailable() const override;
    bool seek(qint64 pos) override;

private:
    TSeekableStream &Seekable() const { return static_cast<TSeekableStream &>(Stream); }
};

// A library stream over an open QIODevice (not owned). Failures of the device
// raise EStreamError with its error text; a short read raises "Read less than
// expected" while NoDataExcept is set, a short write always raises.
class THostFilterStream : public TSeekableStream {
public:
    explicit THostFilterStream(QIODevice &Stream);

    QIODevice &Stream;

    int Write(const void *Buffer, int Count) override;
    int Read(void *Buffer, int Count) override;
    int Available() override;
    int Position() override;
    int Size() override;
    void Seek(int Pos) override;
    // Supported for files and buffers.
    void Truncate() override;
    const char *ClassName() const override { return "THostFilterStream"; }
};

} // namespace imaging

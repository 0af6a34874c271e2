#include "imaging/TextStrm.h"

namespace imaging {

TTextStream::TTextStream(int ReadBufferSize, int WriteBufferSize, TBaseStream *Next)
    : TBufferedStream(ReadBufferSize, WriteBufferSize, Next)
{
    if (CanWrite)
        NewLine = "\r\n";
}

void TTextStream::Write(const std::string &Text)
{
    TBufferedStream::Write(Text.data(), static_cast<int>(Text.size()));
}

int TTextStream::WriteLine(const std::string &Text)
{
    Write(Text);
    Write(NewLine);
    ++LineNumber;
    return static_cast<int>(Text.size() + NewLine.size());
}

bool TTextStream::ReadChar(char &c)
{
    TNoDataExceptOff quiet(*this);
    return TBufferedStream::Read(&c, 1) == 1;
}

int TTextStream::ReadLine(std::string &Text)
{
    if (!CanRead || ReadBufferSize == 0)
        throw EInOutError("Cannot read from stream");
    Text.clear();
    bool any = false;
    char c;
    while (ReadChar(c)) {
        any = true;
        const int u = static_cast<unsigned char>(c);
        if (LineEnd < 0 && (u == 10 || u == 13)) {
            LineEnd = u;
            LineEndPartner = u == 10 ? 13 : 10;
        }
        // The line end is tested first: where both are the same character it
        // always ends the line, wherever it falls in the buffer.
        if (u == LineEnd)
            break;
        if (u == LineEndPartner)
            continue;
        if (Text.size() < std::size_t(MaxLine))
            Text += c;
    }
    if (!any)
        throw EInOutError(std::string("Error reading from stream - ") + kReadLessThanExpected);
    ++LineNumber;
    return static_cast<int>(Text.size());
}

} // namespace imaging

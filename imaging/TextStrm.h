#pragma once
// A buffered stream that reads and writes text lines, detecting the line-break
// convention of what it reads.
#include "imaging/BufStream.h"

#include <string>

namespace imaging {

class TTextStream : public TBufferedStream {
public:
    // Lines longer than this keep their first MaxLine characters; the rest is
    // read and dropped, so a hostile file cannot make one line take memory.
    static constexpr int MaxLine = 65536;

    TTextStream(int ReadBufferSize, int WriteBufferSize, TBaseStream *Next);

    int LineNumber = 0;
    // The character that ends a line when reading (13 or 10), and the other
    // one, dropped from the text; -1 until the first line shows them.
    int LineEnd = -1;
    int LineEndPartner = -1;
    std::string NewLine;

    void Write(const std::string &Text);
    // Writes Text and NewLine; returns the bytes written.
    int WriteLine(const std::string &Text);
    // The next line without its line break; returns its length. At the end of
    // the data a last line without a break is returned; nothing at all
    // raises "Error reading from stream - Read less than expected".
    int ReadLine(std::string &Text);
    using TBufferedStream::Write;
    const char *ClassName() const override { return "TTextStream"; }

private:
    bool ReadChar(char &c);
};

} // namespace imaging

#pragma once
// What a stream can offer the inflater so that it decodes in place instead of
// reading a byte at a time: a look at the bytes it would deliver next, and a
// way to take exactly as many of them as were used. A filter that checks or
// limits its bytes (a checksum, a chunk) implements both by asking its next
// stream and doing to the taken bytes what a Read of them would.
#include <cstdint>

namespace imaging {

class TPeekableStream {
public:
    virtual ~TPeekableStream() = default;
    // The bytes the next Read would deliver, as far as they are at hand without
    // waiting (Count 0: none). Valid until the next call on the stream.
    virtual const std::uint8_t *Peek(int &Count) = 0;
    // Takes the first Count bytes of what Peek showed, as a Read of them would.
    virtual void Skip(int Count) = 0;
};

} // namespace imaging

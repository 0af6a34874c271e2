#include "imaging/BitStream.h"

#include <climits>
#include <cstring>

namespace imaging {

TBitStream::TBitStream(TBaseStream *NextStream) : TFilterStream(NextStream)
{
    CanRead = NextStream->CanRead;
    CanWrite = NextStream->CanWrite;
}

TBitStream::~TBitStream()
{
    try {
        if (WriteBitPos > 0 && CanWrite)
            Flush();
    } catch (...) {
    }
}

void TBitStream::WriteBits(std::uint32_t Value, int Count)
{
    if (Count > 32)
        throw platform::EAssertionFailed("Too many bits");
    for (int i = 0; i < Count; ++i) {
        if ((Value >> i) & 1)
            BitBuffer = static_cast<std::uint8_t>(BitBuffer | (1u << WriteBitPos));
        if (++WriteBitPos == 8) {
            const std::uint8_t b = BitBuffer;
            WriteBitPos = 0;
            BitBuffer = 0;
            if (Next->Write(&b, 1) != 1)
                throw EInOutError(kReadLessThanExpected);
        }
    }
}

bool TBitStream::NextBit(std::uint8_t &Bit)
{
    if (ReadBitPos == 0 || ReadBitPos == 8) {
        std::uint8_t b;
        if (Next->Read(&b, 1) != 1)
            return false;
        BitBuffer = b;
        ReadBitPos = 0;
    }
    Bit = static_cast<std::uint8_t>((BitBuffer >> ReadBitPos) & 1);
    ++ReadBitPos;
    return true;
}

int TBitStream::ReadBits(void *Target, int Count)
{
    auto *t = static_cast<std::uint8_t *>(Target);
    int got = 0;
    for (; got < Count; ++got) {
        std::uint8_t bit;
        if (!NextBit(bit))
            break;
        if ((got & 7) == 0)
            t[got >> 3] = 0;
        t[got >> 3] = static_cast<std::uint8_t>(t[got >> 3] | (bit << (got & 7)));
    }
    return got;
}

std::uint8_t TBitStream::ReadBit()
{
    std::uint8_t bit;
    if (!NextBit(bit))
        throw EInOutError(kReadLessThanExpected);
    return bit;
}

void TBitStream::Flush()
{
    if (WriteBitPos > 0) {
        const std::uint8_t b = BitBuffer;
        WriteBitPos = 0;
        BitBuffer = 0;
        if (Next->Write(&b, 1) != 1)
            throw EInOutError(kReadLessThanExpected);
    }
    WriteBitPos = 0;
    ReadBitPos = 0;
    BitBuffer = 0;
}

int TBitStream::Available()
{
    // Next may already say INT_MAX (a large file): add without wrapping.
    const long long n = static_cast<long long>(Next->Available()) + ReadBitPos;
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

int THuffmanBitStream::DecodeSymbol(const THuffmanTree &Tree)
{
    int node = Tree.Root;
    while (node > Tree.MaxSymbol) {
        if (node > Tree.LastNode || node >= THuffmanTree::NodeCount)
            throw platform::EAssertionFailed("Invalid Huffman code");
        std::uint8_t bit;
        if (!NextBit(bit))
            throw EInOutError(kReadLessThanExpected);
        node = bit ? Tree.Nodes[node].One : Tree.Nodes[node].Zero;
    }
    return node;
}

} // namespace imaging

#pragma once
// A seekable in-memory stream kept as a chain of separately allocated
// blocks, so that it grows without moving data. Its bytes can be looked at in
// place (the inflater decodes straight from them).
#include "imaging/DeflatePeek.h"
#include "imaging/Streams.h"

#include <cstdint>
#include <memory>

namespace imaging {

class TMemStream : public TSeekableStream, public TPeekableStream {
public:
    TMemStream();
    ~TMemStream() override;

    int Write(const void *Buffer, int Count) override;
    // Makes sure that writing Count bytes from the position on allocates
    // nothing: when the blocks from here to the chain's end hold fewer, one
    // block for the rest is added at the end. A writer that knows its size
    // thus grows the stream once. Size and position stay; a Count that no
    // write could take raises "Error writing to stream - TMemStream".
    void Reserve(int Count);
    // A short read with NoDataExcept raises "Error reading from stream - TMemStream".
    int Read(void *Buffer, int Count) override;
    int Available() override { return Size_ - Position_; }
    int Position() override { return Position_; }
    int Size() override { return Size_; }
    // Outside 0..Size raises "Error moving stream pointer".
    void Seek(int NewPosition) override;
    // Frees every block after the current one and ends the stream here.
    void Truncate() override;
    // Frees the whole chain; the next write starts a new one.
    void Clear();
    // The readable bytes of the current block, from the position on.
    const std::uint8_t *Peek(int &Count) override;
    void Skip(int Count) override;
    const char *ClassName() const override { return "TMemStream"; }

    // Capacities of the blocks in chain order (for tests and diagnostics).
    std::size_t BlockCount() const;
    std::uint32_t BlockCapacity(std::size_t Index) const;

private:
    struct Block {
        std::uint32_t Capacity = 0;
        std::unique_ptr<Block> Next;
        std::unique_ptr<std::uint8_t[]> Data;
    };
    static void FreeChain(std::unique_ptr<Block> chain) noexcept;
    // The block after `b`; null `b` stands for the place before the first block.
    Block *Successor(Block *b) const { return b ? b->Next.get() : First_.get(); }
    std::uint32_t CapacityOf(const Block *b) const { return b ? b->Capacity : 0; }

    std::unique_ptr<Block> First_;
    Block *Current_ = nullptr; // null: before the first block
    std::uint32_t Offset_ = 0;
    int Size_ = 0;
    int Position_ = 0;
};

} // namespace imaging

#include "imaging/MemStream.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace imaging {

TMemStream::TMemStream()
{
    CanRead = true;
    CanWrite = true;
}

TMemStream::~TMemStream() { FreeChain(std::move(First_)); }

void TMemStream::FreeChain(std::unique_ptr<Block> chain) noexcept
{
    // Iteratively: a long chain must not recurse through the destructors.
    while (chain)
        chain = std::move(chain->Next);
}

int TMemStream::Write(const void *Buffer, int Count)
{
    if (Count <= 0)
        return 0;
    if (Count > INT_MAX - Position_)
        throw EInOutError("Error writing to stream - " + std::string(ClassName()));
    const auto *in = static_cast<const std::uint8_t *>(Buffer);
    std::uint32_t left = static_cast<std::uint32_t>(Count);
    while (left > 0) {
        if (Offset_ >= CapacityOf(Current_)) {
            Block *next = Successor(Current_);
            if (!next) {
                auto block = std::make_unique<Block>();
                block->Capacity = std::max<std::uint32_t>(4096, left);
                block->Data = std::make_unique_for_overwrite<std::uint8_t[]>(block->Capacity);
                next = block.get();
                // Before the first block the new one becomes First, never the
                // successor of a shared placeholder.
                if (Current_)
                    Current_->Next = std::move(block);
                else
                    First_ = std::move(block);
            }
            Current_ = next;
            Offset_ = 0;
        }
        const std::uint32_t piece = std::min(left, Current_->Capacity - Offset_);
        std::memcpy(Current_->Data.get() + Offset_, in, piece);
        Offset_ += piece;
        in += piece;
        left -= piece;
    }
    Position_ += Count;
    if (Position_ > Size_)
        Size_ = Position_;
    return Count;
}

void TMemStream::Reserve(int Count)
{
    if (Count <= 0)
        return;
    if (Count > INT_MAX - Position_)
        throw EInOutError("Error writing to stream - " + std::string(ClassName()));
    std::int64_t room = std::int64_t(CapacityOf(Current_)) - Offset_;
    Block *last = Current_;
    for (Block *b = Successor(Current_); b && room < Count; b = b->Next.get()) {
        room += b->Capacity;
        last = b;
    }
    if (room >= Count)
        return;
    // `last` ends the chain now: the rest goes into one block after it.
    auto block = std::make_unique<Block>();
    block->Capacity = static_cast<std::uint32_t>(std::max<std::int64_t>(4096, Count - room));
    block->Data = std::make_unique_for_overwrite<std::uint8_t[]>(block->Capacity);
    if (last)
        last->Next = std::move(block);
    else
        First_ = std::move(block);
}

int TMemStream::Read(void *Buffer, int Count)
{
    CheckReadCount(Count);
    auto *out = static_cast<std::uint8_t *>(Buffer);
    int done = 0;
    while (done < Count && Position_ < Size_) {
        if (Offset_ >= CapacityOf(Current_)) {
            Block *next = Successor(Current_);
            if (!next)
                break;
            Current_ = next;
            Offset_ = 0;
        }
        const auto piece = static_cast<int>(std::min<std::int64_t>(
            {static_cast<std::int64_t>(Count - done), static_cast<std::int64_t>(Size_ - Position_),
             static_cast<std::int64_t>(Current_->Capacity - Offset_)}));
        std::memcpy(out + done, Current_->Data.get() + Offset_, static_cast<std::size_t>(piece));
        Offset_ += static_cast<std::uint32_t>(piece);
        Position_ += piece;
        done += piece;
    }
    if (done < Count && NoDataExcept)
        throw EInOutError("Error reading from stream - " + std::string(ClassName()));
    return done;
}

const std::uint8_t *TMemStream::Peek(int &Count)
{
    Count = 0;
    if (Position_ >= Size_)
        return nullptr;
    if (Offset_ >= CapacityOf(Current_)) {
        Block *next = Successor(Current_);
        if (!next)
            return nullptr;
        Current_ = next;
        Offset_ = 0;
    }
    Count = static_cast<int>(std::min<std::int64_t>(Size_ - Position_, Current_->Capacity - Offset_));
    return Current_->Data.get() + Offset_;
}

void TMemStream::Skip(int Count)
{
    // Only what Peek showed: it lies in the current block.
    if (Count <= 0)
        return;
    Offset_ += static_cast<std::uint32_t>(Count);
    Position_ += Count;
}

void TMemStream::Seek(int NewPosition)
{
    if (NewPosition == Position_)
        return;
    if (NewPosition < 0 || NewPosition > Size_)
        throw EInOutError("Error moving stream pointer");
    if (NewPosition < Position_) {
        Current_ = nullptr;
        Offset_ = 0;
        Position_ = 0;
    }
    bool first = true;
    while (Position_ < NewPosition) {
        if (Offset_ >= CapacityOf(Current_)) {
            Block *next = Successor(Current_);
            if (!next)
                throw platform::Exception(first ? "Error in MemStream.Seek" : "Error in MemStream.Seek 2");
            Current_ = next;
            Offset_ = 0;
        }
        first = false;
        const auto step = std::min<std::int64_t>(NewPosition - Position_, Current_->Capacity - Offset_);
        Offset_ += static_cast<std::uint32_t>(step);
        Position_ += static_cast<int>(step);
    }
}

void TMemStream::Truncate()
{
    if (Current_)
        FreeChain(std::move(Current_->Next));
    else
        FreeChain(std::move(First_));
    Size_ = Position_;
}

void TMemStream::Clear()
{
    FreeChain(std::move(First_));
    Current_ = nullptr;
    Offset_ = 0;
    Size_ = 0;
    Position_ = 0;
}

std::size_t TMemStream::BlockCount() const
{
    std::size_t n = 0;
    for (const Block *b = First_.get(); b; b = b->Next.get())
        ++n;
    return n;
}

std::uint32_t TMemStream::BlockCapacity(std::size_t Index) const
{
    const Block *b = First_.get();
    while (b && Index--)
        b = b->Next.get();
    return b ? b->Capacity : 0;
}

} // namespace imaging

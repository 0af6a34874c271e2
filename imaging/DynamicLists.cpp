#include "imaging/DynamicLists.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace imaging {

namespace {

[[noreturn]] void AssertionFailure(int line)
{
    throw platform::EAssertionFailed("Assertion failure (DynamicLists.cpp, line " + std::to_string(line) + ")");
}

} // namespace

TDynamicList::TDynamicList(int elementSize, void **mirror) : DataMirror(mirror), ElementSize(elementSize)
{
    if (elementSize < 1)
        AssertionFailure(__LINE__);
    if (DataMirror)
        *DataMirror = nullptr;
}

TDynamicList::~TDynamicList() = default;

void TDynamicList::SetCapacity(int N)
{
    if (Count > Capacity || N < 0)
        AssertionFailure(__LINE__);
    if (N == Capacity)
        return;
    const long long bytes = static_cast<long long>(N) * ElementSize;
    if (bytes > INT_MAX)
        throw std::bad_alloc();
    if (N == 0) {
        Data_.reset();
    } else {
        void *p = std::realloc(Data_.get(), static_cast<std::size_t>(bytes));
        if (!p)
            throw std::bad_alloc();
        (void)Data_.release();
        Data_.reset(p);
        if (N > Capacity)
            std::memset(static_cast<char *>(p) + static_cast<std::size_t>(Capacity) * ElementSize, 0,
                        static_cast<std::size_t>(N - Capacity) * ElementSize);
    }
    Capacity = N;
    if (DataMirror)
        *DataMirror = Data_.get();
    if (Count > N)
        Count = N;
}

void TDynamicList::SetCount(int N)
{
    if (N < 0)
        AssertionFailure(__LINE__);
    if (N > Capacity)
        SetCapacity(N);
    Count = N;
}

void TDynamicList::Add()
{
    if (Count >= Capacity) {
        if (Capacity == 0 && GrowBy <= 0)
            SetCapacity(16);
        else if (GrowBy < 1)
            SetCapacity(Capacity > INT_MAX / 2 ? INT_MAX : Capacity * 2);
        else
            SetCapacity(Capacity > INT_MAX - GrowBy ? INT_MAX : Capacity + GrowBy);
    }
    if (Count >= Capacity)
        throw std::bad_alloc();
    ++Count;
}

void TDynamicList::Delete(int Index)
{
    if (Index < 0 || Index >= Count)
        AssertionFailure(__LINE__);
    char *base = static_cast<char *>(Data_.get());
    const std::size_t size = static_cast<std::size_t>(ElementSize);
    std::memmove(base + Index * size, base + (Index + 1) * size, (Count - Index - 1) * size);
    --Count;
}

void TDynamicList::Clear() { SetCapacity(0); }

void TDynamicList::Compact() { SetCapacity(Count); }

void TDynamicList::Assign(const TAssignObject &Source)
{
    if (auto *list = dynamic_cast<const TDynamicList *>(&Source)) {
        if (list == this)
            return;
        if (list->ElementSize != ElementSize)
            AssertionFailure(__LINE__);
        Clear();
        SetCapacity(list->Count);
        Count = list->Count;
        if (Count)
            std::memcpy(Data_.get(), list->Data(), static_cast<std::size_t>(Count) * ElementSize);
        return;
    }
    TAssignObject::Assign(Source);
}

void TDynamicList::SaveToStream(TBaseStream &Stream)
{
    const std::uint8_t count[4] = {static_cast<std::uint8_t>(Count), static_cast<std::uint8_t>(Count >> 8),
                                   static_cast<std::uint8_t>(Count >> 16), static_cast<std::uint8_t>(Count >> 24)};
    Stream.Write(count, 4);
    if (Count)
        Stream.Write(Data_.get(), Count * ElementSize);
}

void TDynamicList::LoadFromStream(TBaseStream &Stream)
{
    SetCapacity(0);
    std::uint8_t raw[4] = {};
    int got;
    {
        // A short count is no error: it ends the load with an empty list.
        const bool was = Stream.NoDataExcept;
        Stream.SetNoDataExcept(false);
        try {
            got = Stream.Read(raw, 4);
        } catch (...) {
            Stream.SetNoDataExcept(was);
            throw;
        }
        Stream.SetNoDataExcept(was);
    }
    if (got < 4)
        return;
    const auto count = static_cast<std::int32_t>(static_cast<std::uint32_t>(raw[0]) | raw[1] << 8 | raw[2] << 16 |
                                                 static_cast<std::uint32_t>(raw[3]) << 24);
    const long long bytes = static_cast<long long>(count) * ElementSize;
    if (count < 0 || bytes > INT_MAX)
        throw EInOutError("Invalid list count");
    if (count == 0)
        return;
    // A seekable stream knows how much it holds, so a lying count is refused at
    // once. A filter stream's Available is only what it can tell (an inflater
    // cannot know its output), so there the records are read in steps that
    // grow with what arrives: a lying count costs no more than the data does.
    const bool exact = dynamic_cast<TSeekableStream *>(&Stream) != nullptr;
    if (exact && bytes > Stream.Available())
        throw EInOutError("Invalid list count");
    long long done = 0;
    long long step = exact ? bytes : 65536;
    try {
        while (done < bytes) {
            const long long want = std::min(step, bytes - done);
            SetCount(static_cast<int>((done + want + ElementSize - 1) / ElementSize));
            const int read = Stream.Read(static_cast<char *>(Data_.get()) + done, static_cast<int>(want));
            done += read > 0 ? read : 0;
            if (read < want)
                break;
            step = done;
        }
    } catch (...) {
        SetCapacity(0);
        throw;
    }
    // Without NoDataExcept a short block keeps only the whole records read.
    Count = static_cast<int>(done / ElementSize);
}

} // namespace imaging

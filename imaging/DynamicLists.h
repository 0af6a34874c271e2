#pragma once
// A growable array of fixed-size records that can save itself to a stream.
// Stream form: the count as a signed 32-bit little-endian integer, then the
// records (the element size is not stored).
#include "imaging/StreamUtils.h"

#include <cstdlib>
#include <memory>

namespace imaging {

class TDynamicList : public TStreamClass {
public:
    // DataMirror (may be null) receives the data address after every
    // reallocation, so that its owner can index the records directly.
    TDynamicList(int ElementSize, void **DataMirror);
    ~TDynamicList() override;

    void **DataMirror;
    int Capacity = 0;
    const int ElementSize;
    void *Data() const { return Data_.get(); }
    int Count = 0;
    // Growth step; 0 (or less) doubles.
    int GrowBy = 0;

    // Keeps the records up to the smaller size; new records are zero.
    void SetCapacity(int N);
    void SetCount(int N);
    // Appends one record (zero) at index Count - 1 after the call.
    void Add();
    void Delete(int Index);
    virtual void Clear();
    virtual void Compact();

    void Assign(const TAssignObject &Source) override;
    void SaveToStream(TBaseStream &Stream) override;
    // An empty or short count gives an empty list; a negative count, one whose
    // records would not fit in memory or exceed what a seekable stream holds
    // raises EInOutError "Invalid list count". A short record block follows
    // the stream's NoDataExcept rule (the list is left empty when it raises).
    void LoadFromStream(TBaseStream &Stream) override;
    const char *ClassName() const override { return "TDynamicList"; }

private:
    struct FreeDeleter {
        void operator()(void *p) const { std::free(p); }
    };
    std::unique_ptr<void, FreeDeleter> Data_;
};

} // namespace imaging

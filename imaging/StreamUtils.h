#pragma once
// The root of the library's assignable objects and the base of objects that
// save themselves to streams and files.
#include "imaging/Streams.h"

#include <string>

namespace imaging {

class TAssignObject {
public:
    TAssignObject() = default;
    virtual ~TAssignObject() = default;
    TAssignObject(const TAssignObject &) = delete;
    TAssignObject &operator=(const TAssignObject &) = delete;

    // Each side hands the call to the other; a class overrides at least one
    // of the two for every pair it supports. When neither side knows the
    // other, raises Exception "Cannot assign <Source> to <Dest>".
    virtual void Assign(const TAssignObject &Source);
    virtual void AssignTo(TAssignObject &Dest) const;
    virtual const char *ClassName() const { return "TAssignObject"; }

protected:
    // True while an Assign/AssignTo pair is already being tried, so that two
    // classes that know nothing of each other end in the exception instead
    // of recursing without end.
    mutable bool Handing_ = false;
};

class TStreamClass : public TAssignObject {
public:
    // Base versions raise "<class>.SaveToStream not implemented" and
    // "<class>.LoadFromStream not implemented".
    virtual void SaveToStream(TBaseStream &Stream);
    virtual void LoadFromStream(TBaseStream &Stream);
    // Through OpenBufferedFile and FreeFilterChain.
    virtual void SaveToFile(const std::string &FileName);
    virtual void LoadFromFile(const std::string &FileName);
    const char *ClassName() const override { return "TStreamClass"; }
};

} // namespace imaging

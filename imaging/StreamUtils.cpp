#include "imaging/StreamUtils.h"

namespace imaging {

namespace {

class HandingGuard {
public:
    explicit HandingGuard(bool &flag) : flag_(flag) { flag_ = true; }
    ~HandingGuard() { flag_ = false; }
    HandingGuard(const HandingGuard &) = delete;
    HandingGuard &operator=(const HandingGuard &) = delete;

private:
    bool &flag_;
};

} // namespace

void TAssignObject::Assign(const TAssignObject &Source)
{
    if (Handing_ || Source.Handing_)
        throw platform::Exception(std::string("Cannot assign ") + Source.ClassName() + " to " + ClassName());
    HandingGuard guard(Handing_);
    Source.AssignTo(*this);
}

void TAssignObject::AssignTo(TAssignObject &Dest) const
{
    if (Handing_ || Dest.Handing_)
        throw platform::Exception(std::string("Cannot assign ") + ClassName() + " to " + Dest.ClassName());
    HandingGuard guard(Handing_);
    Dest.Assign(*this);
}

void TStreamClass::SaveToStream(TBaseStream &)
{
    throw platform::Exception(std::string(ClassName()) + ".SaveToStream not implemented");
}

void TStreamClass::LoadFromStream(TBaseStream &)
{
    throw platform::Exception(std::string(ClassName()) + ".LoadFromStream not implemented");
}

void TStreamClass::SaveToFile(const std::string &FileName)
{
    auto stream = OpenBufferedFile(FileName, true);
    SaveToStream(*stream);
    FreeFilterChain(std::move(stream));
}

void TStreamClass::LoadFromFile(const std::string &FileName)
{
    auto stream = OpenBufferedFile(FileName, false);
    LoadFromStream(*stream);
    FreeFilterChain(std::move(stream));
}

} // namespace imaging

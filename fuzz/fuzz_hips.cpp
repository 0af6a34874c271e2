// HIPS files from anywhere load or raise, never crash, hang or allocate without bound.
#include "imaging/HIPSLoader.h"
#include "imaging/MemStream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    imaging::TMemStream stream;
    stream.Write(data, static_cast<int>(size));
    stream.Seek(0);
    imaging::TLinearBitmap bitmap;
    try { imaging::THIPSLoader().LoadFromStream(stream, "HIP", bitmap); } catch (const platform::Exception &) {}
    return 0;
}

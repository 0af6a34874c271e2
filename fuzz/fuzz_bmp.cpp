// The own BMP reader on arbitrary data, from a stream and as a packed DIB in
// memory. Pictures are held to 2^22 pixels so that each input runs quickly.
#include "imaging/BMPReader.h"
#include "imaging/MemStream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace imaging;
    if (size > (1 << 22))
        return 0;
    TMemStream mem;
    mem.Write(data, static_cast<int>(size));
    mem.Seek(0);
    TLinearBitmap bitmap;
    TDIBLimits limits;
    limits.MaxPixels = std::int64_t(1) << 22;
    ReadDIBFromStream(mem, bitmap, limits);
    if (size > 14) {
        try { ReadDIB(data + 14, size - 14, bitmap); } catch (const Exception &) { /* refused cleanly */ }
    }
    return 0;
}

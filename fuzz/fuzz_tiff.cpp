// The TIFF plug-in's load function gets files from anywhere: any bytes must
// give a result code without a crash, and a success a complete image.
#include "imaging/imageplugin.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int32_t LibLoadImage(const char *FileName, char *Ext, TImageContainer *Image);
extern "C" int32_t LibFreeImage(TImageContainer *Image);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const int fd = ::memfd_create("fuzz.tif", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size))
        std::abort();
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    char ext[] = "TIF";
    TImageContainer image{};
    if (LibLoadImage(path.c_str(), ext, &image) == 0) {
        const int planes = image.PixelFormat & 15;
        if (!image.Pixels || image.Width <= 0 || image.Height <= 0 || planes == 0)
            std::abort();
        // Every byte the program will copy must be there.
        const std::size_t bytes = image.PixelFormat == 33 ? 2 : planes;
        volatile std::uint8_t sum = 0;
        for (std::size_t i = 0; i < std::size_t(image.Width) * image.Height * bytes; ++i)
            sum = static_cast<std::uint8_t>(sum + image.Pixels[i]);
        LibFreeImage(&image);
    }
    ::close(fd);
    return 0;
}

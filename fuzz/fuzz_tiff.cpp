// The TIFF plug-in's load function on files from anywhere: a result code,
// never a crash, and on success every pixel byte the program will copy.
#include "imaging/imageplugin.h"

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
    char ext[] = "TIF";
    TImageContainer image{};
    if (LibLoadImage(("/proc/self/fd/" + std::to_string(fd)).c_str(), ext, &image) == 0) {
        const int planes = image.PixelFormat & 15;
        if (!image.Pixels || image.Width <= 0 || image.Height <= 0 || planes == 0)
            std::abort();
        const std::size_t bytes = std::size_t(image.Width) * image.Height * (image.PixelFormat == 33 ? 2 : planes);
        volatile std::uint8_t sum = 0; // every byte, so a short block meets ASan's red zone
        for (std::size_t i = 0; i < bytes; ++i)
            sum = static_cast<std::uint8_t>(sum + image.Pixels[i]);
        LibFreeImage(&image);
    }
    ::close(fd);
    return 0;
}

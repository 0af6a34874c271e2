// The BMP side of the interop test.
//   load IN OUT    loads IN through the loader registry and writes OUT as
//                  "W H BITS\n" and the pixels as top-down red-green-blue
//                  bytes; a failure prints its message and exits 2.
//   save IN OUT B  reads the image IN with Qt and saves it as the BMP file OUT
//                  from a linear bitmap of B (8, 24 or 32) bits per pixel.
#include "imaging/BMPLoader.h"

#include <QImage>

#include <cstdio>
#include <cstring>
#include <string>

using namespace imaging;

int main(int argc, char **argv)
{
    RegisterBMPLoader();
    if (argc < 4)
        return 1;
    const std::string mode = argv[1];
    try {
        if (mode == "load") {
            TLinearBitmap b;
            b.LoadFromFile(argv[2]);
            const int bits = b.PixelSize * 8;
            b.ChangePixelFormat(pf24bit);
            std::FILE *f = std::fopen(argv[3], "wb");
            std::fprintf(f, "%d %d %d\n", b.Width, b.Height, bits);
            for (int y = 0; y < b.Height; ++y)
                for (int x = 0; x < b.Width; ++x) {
                    const std::uint8_t *p = b.ScanLine(y) + 3 * x;
                    const std::uint8_t rgb[3] = {p[2], p[1], p[0]};
                    std::fwrite(rgb, 1, 3, f);
                }
            return std::fclose(f) == 0 ? 0 : 1;
        }
        if (mode == "save" && argc == 5) {
            QImage image(QString::fromLocal8Bit(argv[2]));
            if (image.isNull())
                return 1;
            const int bits = std::atoi(argv[4]);
            TLinearBitmap b;
            b.Assign(image.convertToFormat(QImage::Format_BGR888));
            b.ChangePixelFormat(bits == 8 ? pf8bit : bits == 32 ? pf32bit : pf24bit);
            b.SaveToFile(argv[3]);
            return 0;
        }
    } catch (const std::exception &e) {
        std::printf("%s\n", e.what());
        return 2;
    }
    return 1;
}

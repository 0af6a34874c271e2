// Drives the TIFF plug-in through the image library for the interop test:
//   load <plugin folder> <file.tif> <out.raw>   writes "<mode>\n" + pixels
//   save <plugin folder> <source image> <out.tif>
// Loaded pixels are written as RGB (8-bit images through their palette) or,
// for 16-bit grey, as little-endian 16-bit values ("I;16").
#include "imaging/ImageDLLLoader.h"

#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

using namespace imaging;

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s load|save <plugin folder> <in> <out>\n", argv[0]);
        return 2;
    }
    const std::string verb = argv[1];
    try {
        RegisterDLLLoader();
        if (!DLLLoader()->AddPlugins(argv[2])) {
            std::fprintf(stderr, "no plug-in in %s\n", argv[2]);
            return 1;
        }
        TLinearBitmap b;
        if (verb == "save") {
            QImage img(QString::fromUtf8(argv[3]));
            if (img.isNull())
                return 1;
            b.Assign(img.format() == QImage::Format_Indexed8 ? img : img.convertToFormat(QImage::Format_BGR888));
            b.SaveToFile(argv[4]);
            return 0;
        }
        b.LoadFromFile(argv[3]);
        std::ofstream out(argv[4], std::ios::binary);
        std::string pixels;
        if (b.PixelFormat == pf16bit) {
            out << "I;16\n";
            pixels.assign(reinterpret_cast<const char *>(b.Map.get()), b.Size);
        } else {
            out << "RGB\n";
            for (int i = 0; i < b.Width * b.Height; ++i) {
                const std::uint8_t *p = b.PixelFormat == pf8bit ? b.Palette.get() + 3 * b.Map[i] : b.Map.get() + 3 * i;
                pixels += static_cast<char>(p[2]);
                pixels += static_cast<char>(p[1]);
                pixels += static_cast<char>(p[0]);
            }
        }
        out << pixels;
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

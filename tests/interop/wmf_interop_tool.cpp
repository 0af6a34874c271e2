// Saves a picture as a metafile through the image library, for the interop
// test:  <source image> <out.wmf|out.emf>
#include "imaging/WMFLoader.h"

#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <exception>

using namespace imaging;

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <source image> <out.wmf>\n", argv[0]);
        return 2;
    }
    try {
        RegisterWMFLoader();
        QImage img(QString::fromUtf8(argv[1]));
        if (img.isNull())
            return 1;
        TLinearBitmap b;
        b.Assign(img.format() == QImage::Format_Indexed8 ? img : img.convertToFormat(QImage::Format_BGR888));
        b.SaveToFile(argv[2]);
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

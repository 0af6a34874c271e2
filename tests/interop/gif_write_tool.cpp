// Re-encodes GIF files and screenshots with both image data encoders and
// checks, with giflib, that every frame decodes to the pixels it holds. The
// files it writes (<out>/<n>-<variant>.gif) are listed in <out>/manifest.txt
// with the original each came from, or with <n>.rgb, the pixels Pillow must
// show, for the screenshots. Used by gif_write_interop.py.
#include "GiflibFrames.h"
#include "gif/ColorReduction.h"
#include "gif/GIFEncoder.h"
#include "gif/GIFImage.h"
#include "gif/GIFSubImage.h"

#include <QBuffer>
#include <QDirIterator>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace gif;

namespace {

// Empty when giflib decodes every frame of File to the frames' pixels.
std::string CheckWithGiflib(const QByteArray &File, const TGIFImage &Image)
{
    const auto frames = gif_test::GiflibFrames(File.constData(), std::size_t(File.size()));
    if (!frames)
        return "giflib refuses it";
    std::size_t k = 0;
    for (int i = 0; i < Image.Count(); ++i) {
        const TGIFSubImage &f = *Image.SubImage(i);
        if (f.Data() && (k >= frames->size() ||
                         (*frames)[k++] != std::vector<std::uint8_t>(f.Data(), f.Data() + f.DataSize())))
            return "frame " + std::to_string(i) + " decodes to other pixels";
    }
    return k == frames->size() ? "" : "giflib finds more frames";
}

// Whether a frame holds a pixel beyond its colour table: saving such a
// frame is refused with "Color not in color table".
bool HasStrayPixels(TGIFImage &Image)
{
    for (int i = 0; i < Image.Count(); ++i) {
        TGIFSubImage &f = *Image.SubImage(i);
        const int colors = f.ColorMap().Count() > 0 ? f.ColorMap().Count() : 1 << Image.BitsPerPixel();
        for (std::int64_t k = 0; f.Data() && k < f.DataSize(); ++k)
            if (f.Data()[k] >= colors)
                return true;
    }
    return false;
}

QByteArray Save(const TGIFImage &Image)
{
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    Image.SaveToStream(buf);
    return buf.data();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <out dir> <GIF folder> <screens folder>\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    RegisterGIFWriter();
    const std::string out = argv[1];
    std::ofstream manifest(out + "/manifest.txt");
    int loaded = 0, written = 0, failures = 0, n = 0;
    const auto write = [&](const QByteArray &bytes, const std::string &variant, const std::string &from) {
        const std::string name = std::to_string(n) + "-" + variant + ".gif";
        std::ofstream(out + "/" + name, std::ios::binary).write(bytes.constData(), bytes.size());
        manifest << name << '\t' << from << '\n';
        ++written;
    };

    QDirIterator it(QString::fromLocal8Bit(argv[2]), {"*.gif"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        ++n;
        TGIFImage image;
        QFile file(path);
        try {
            file.open(QIODevice::ReadOnly);
            image.LoadFromStream(file);
        } catch (const std::exception &) {
            continue; // files meant to fail
        }
        ++loaded;
        if (image.Count() == 0)
            continue; // nothing to save: "Unsupported GIF version"
        const bool stray = HasStrayPixels(image);
        // Its comment is read up to its first zero byte, so an empty comment
        // extension is written back, and giflib's reader refuses those.
        const bool giflibOk = !path.endsWith("/nul-comment.gif");
        for (int compression : {0, 1})
            for (bool interlace : {false, true}) {
                const std::string variant = std::string(compression ? "rle" : "lzw") + (interlace ? "-i" : "");
                image.Compression = compression;
                if (interlace)
                    for (int i = 0; i < image.Count(); ++i)
                        image.SubImage(i)->SetInterlaced(true);
                try {
                    const QByteArray bytes = Save(image);
                    if (stray) {
                        std::printf("%s: saved a frame with pixels beyond its colour table\n", qPrintable(path));
                        ++failures;
                        continue;
                    }
                    const std::string problem = giflibOk ? CheckWithGiflib(bytes, image) : std::string();
                    if (!problem.empty()) {
                        std::printf("%s (%s): %s\n", qPrintable(path), variant.c_str(), problem.c_str());
                        ++failures;
                    }
                    write(bytes, variant, path.toStdString());
                } catch (const std::exception &e) {
                    if (stray && std::string(e.what()) == "Color not in color table")
                        continue;
                    std::printf("%s (%s): save failed: %s\n", qPrintable(path), variant.c_str(), e.what());
                    ++failures;
                }
            }
    }

    // Screenshots: octree with Floyd-Steinberg, saved by both encoders.
    for (const char *screen : {"desktop-1920x1080.png", "web-docs-1920x1080.png"}) {
        const QImage img(QString::fromLocal8Bit(argv[3]) + "/" + screen);
        if (img.isNull()) {
            std::printf("missing test data: %s\n", screen);
            return 1;
        }
        ++n;
        const QImage want = ReduceColors(img, crOctree, dmFloydSteinberg, 8).convertToFormat(QImage::Format_RGB888);
        std::ofstream rgb(out + "/" + std::to_string(n) + ".rgb", std::ios::binary);
        for (int y = 0; y < want.height(); ++y)
            rgb.write(reinterpret_cast<const char *>(want.constScanLine(y)), want.width() * 3);
        for (int compression : {0, 1}) {
            TGIFImage image;
            image.ColorReduction = crOctree;
            image.DitherMode = dmFloydSteinberg;
            image.ReductionBits = 8;
            image.Compression = compression;
            image.Add(img);
            const QByteArray bytes = Save(image);
            const std::string problem = CheckWithGiflib(bytes, image);
            if (!problem.empty()) {
                std::printf("%s (%d): %s\n", screen, compression, problem.c_str());
                ++failures;
            }
            write(bytes, compression ? "rle" : "lzw", std::to_string(n) + ".rgb");
        }
    }
    std::printf("%d GIF files loaded, %d written, %d failures\n", loaded, written, failures);
    return failures == 0 && loaded >= 60 ? 0 : 1;
}

// Re-encodes GIF files and screenshots with both image data encoders and
// checks, with giflib, that every frame decodes to the pixels it holds. The
// files it writes (<out>/<n>-<variant>.gif) are listed in <out>/manifest.txt
// with the original each came from (for the screenshots: the reduced picture
// as <n>.png). Used by gif_write_interop.py.
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

int failures = 0;

// Saves Image with the encoder of Compression, checks the result with giflib
// (unless Giflib is false) and writes it for Pillow; Refused: the save must
// fail with "Color not in color table".
void SaveAndCheck(TGIFImage &Image, int Compression, bool Giflib, bool Refused, const std::string &Out,
                  const std::string &Name, const std::string &From, std::ofstream &Manifest)
{
    Image.Compression = Compression;
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    std::string problem;
    try {
        Image.SaveToStream(buf);
        if (Refused)
            problem = "saved a frame with pixels beyond its colour table";
        else if (Giflib)
            problem = CheckWithGiflib(buf.data(), Image);
        std::ofstream(Out + "/" + Name, std::ios::binary).write(buf.data().constData(), buf.data().size());
        Manifest << Name << '\t' << From << '\n';
    } catch (const std::exception &e) {
        if (!Refused || std::string(e.what()) != "Color not in color table")
            problem = std::string("save failed: ") + e.what();
    }
    if (!problem.empty()) {
        std::printf("%s (%s): %s\n", From.c_str(), Name.c_str(), problem.c_str());
        ++failures;
    }
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
    int loaded = 0, n = 0;
    QDirIterator it(QString::fromLocal8Bit(argv[2]), {"*.gif"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const std::string path = it.next().toStdString();
        const std::string stem = std::to_string(++n);
        TGIFImage image;
        QFile file(QString::fromStdString(path));
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
        const bool giflib = path.find("/nul-comment.gif") == std::string::npos;
        for (bool interlace : {false, true}) {
            for (int i = 0; interlace && i < image.Count(); ++i)
                image.SubImage(i)->SetInterlaced(true);
            for (int c : {0, 1})
                SaveAndCheck(image, c, giflib, stray, out, stem + (c ? "-rle" : "-lzw") + (interlace ? "-i.gif" : ".gif"),
                             path, manifest);
        }
    }

    // Screenshots reduced by octree with Floyd-Steinberg, as frames take them.
    for (const char *screen : {"desktop-1920x1080.png", "web-docs-1920x1080.png"}) {
        const QImage img(QString::fromLocal8Bit(argv[3]) + "/" + screen);
        if (img.isNull()) {
            std::printf("missing test data: %s\n", screen);
            return 1;
        }
        const std::string stem = std::to_string(++n);
        const std::string want = out + "/" + stem + ".png";
        ReduceColors(img, crOctree, dmFloydSteinberg, 8).save(QString::fromStdString(want));
        TGIFImage image;
        image.ColorReduction = crOctree;
        image.DitherMode = dmFloydSteinberg;
        image.ReductionBits = 8;
        image.Add(img);
        for (int c : {0, 1})
            SaveAndCheck(image, c, true, false, out, stem + (c ? "-rle.gif" : "-lzw.gif"), want, manifest);
    }
    std::printf("%d GIF files loaded, %d failures\n", loaded, failures);
    return failures == 0 && loaded >= 60 ? 0 : 1;
}

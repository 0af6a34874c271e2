#pragma once
// The GIF picture class: one GIF file in memory (header with the global
// colour map, frames, trailer on save), loaded and saved through streams and
// the clipboard, converted to images and drawn on a canvas. Registered as the
// "GIF" picture format.
#include "gif/GIFStream.h"
#include "gif/GIFSubImage.h"
#include "platform/gui/Graphic.h"

#include <QImage>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

class QIODevice;
class QMimeData;
class QPainter;
class QRect;

namespace gif {

// Painting options.
enum : std::uint16_t {
    doThreaded = 0x0001,
    doTransparent = 0x0002,
    doAnimate = 0x0004,
    doLoop = 0x0008,
    doLoopForever = 0x0010,
    doCheckCanvas = 0x0020,
    doDirectDraw = 0x0040,
    doClearOnLoop = 0x0080,
    doTile = 0x0100,
    doDither = 0x0200,
    doAutoDither = 0x0400,
};

// Unit-wide defaults of new images (writable, like the rest of the unit's
// settings).
extern std::uint16_t GIFDefaultDrawOptions;     // 0x068F
extern int GIFDefaultColorReduction;            // 6, web palette
extern int GIFDefaultReductionBits;             // 8
extern int GIFDefaultDitherMode;                // 0, nearest colour
extern int GIFDefaultCompression;               // 0, LZW
extern int GIFDefaultThreadPriority;            // 3, normal
extern int GIFDefaultAnimationSpeed;            // 100 %
extern int GIFDelayExp;                         // 12 ms per delay unit
extern int GIFDefaultDelay;                     // 10
extern int GIFMinimumDelay;                     // 3
extern int GIFMaximumDelay;                     // 1000
extern bool GIFOptimizeOnWrite;                 // false

// Whether the display is a palette device. X11 here is always true-colour;
// tests set it to exercise the dithered path.
extern bool GIFPaletteDevice;

inline constexpr TColor clNone = 0x1FFFFFFF;

enum class TProgressStage { psStarting, psRunning, psEnding };

// What the image needs of its painters; the animated painter implements it.
class TGIFPainterBase {
public:
    virtual ~TGIFPainterBase() = default;
    // Asks the painter to end (no waiting).
    virtual void Stop() = 0;
    // Waits until an asynchronous painter has ended; at once for others.
    virtual void WaitFor() = 0;
    // The image is going away: the painter must not touch it any more.
    virtual void DetachImage() = 0;
};

// Reduces an image of any format to an 8-bit image with at most 256 colours
// (the colour reduction unit installs it). Without one, only images with at
// most 256 distinct colours convert.
using TGIFColorReducer = std::function<QImage(const QImage &Source, int ColorReduction, int DitherMode, int ReductionBits)>;
void SetGIFColorReducer(TGIFColorReducer Reducer);
const TGIFColorReducer &GIFColorReducer();

class TGIFImage : public platform::TGraphic {
public:
    TGIFImage();
    ~TGIFImage() override;

    const char *ClassName() const override { return "TGIFImage"; }

    TGIFImageList &Images() { return FImages; }
    const TGIFImageList &Images() const { return FImages; }
    TGIFHeader &Header() { return FHeader; }
    const TGIFHeader &Header() const { return FHeader; }
    int Count() const { return FImages.Count(); }
    TGIFSubImage *SubImage(int Index) const { return FImages.SubImages(Index); }

    void Clear();
    bool Empty() const override { return FImages.Count() == 0; }
    int Width() const override { return FHeader.Width; }
    int Height() const override { return FHeader.Height; }
    // Raise "Image width/height too small for contained frames" below a
    // frame's edge.
    void SetWidth(int Value) override;
    void SetHeight(int Value) override;

    void LoadFromStream(QIODevice &Stream) override;
    void SaveToStream(QIODevice &Stream) const override;
    void LoadFromClipboardFormat(const QMimeData &Data) override;
    void SaveToClipboardFormat(QMimeData &Data) const override;

    void Assign(const platform::TGraphic &Source) override;
    void Assign(const QImage &Source);
    void AssignTo(platform::TGraphic &Dest) const override;
    void AssignTo(QImage &Dest) const override;
    // Appends a frame built from an image, or takes a frame as it is.
    int Add(const QImage &Source);
    int Add(std::unique_ptr<TGIFSubImage> Source);

    // The picture-control way: with doAnimate an image of several frames is
    // animated by a painter of its own (DrawPainter) into DrawBuffer, whose
    // every new frame is reported through Changed; each Draw then stretches
    // the buffer onto Canvas. With doDirectDraw and a canvas that paints on
    // an image, the painter draws on that image itself instead (a widget
    // canvas can only be drawn on in its paint event, so it always goes
    // through the buffer). Otherwise one frame: ForceFrame, else frame 0.
    void Draw(QPainter &Canvas, const QRect &Rect) const override;

    int Version() const;
    int ColorResolution() const;
    int BitsPerPixel() const;

    // Palette of the picture (none when it has no colours).
    std::vector<QRgb> GetPalette() const;
    void SetPalette(std::optional<std::vector<QRgb>> Value);
    bool PaletteModified = false;

    // The whole logical screen with frame 0 at its place (built on demand);
    // null for an empty image.
    const QImage &BufferBitmap() const;
    void StopDraw() const;
    void PaintStop();

    // Dithering is on when doDither is set and either doAutoDither is clear
    // or the display is a palette device.
    bool DitherTest() const;

    virtual void Warning(const void *Sender, int Severity, const std::string &Message) const;
    void Progress(TProgressStage Stage, int Percent, bool Redraw, const std::string &Message) const;

    // Passes of the optimiser, selected by Options bits 0x01..0x10.
    void GIFOptimize(int Options, int ColorReduction);

    std::uint16_t DrawOptions;
    int ColorReduction;
    int ReductionBits;
    int DitherMode;
    int Compression;
    int ThreadPriority;
    int AnimationSpeed;
    int ForceFrame = -1;
    TColor BackgroundColor = clNone;

    std::function<void(const void *Sender, int Severity, const std::string &Message)> OnWarning;
    std::function<void(TProgressStage Stage, int Percent, bool Redraw, const std::string &Message)> OnProgress;
    // Copied into each new painter.
    std::function<void(void *Sender)> OnPassStart, OnFrameStart, OnFrameDone, OnLoopRestart, OnPaintDone;

    // The painters of this image; the lock is the image's only lock.
    std::recursive_mutex PaintersLock;
    std::vector<TGIFPainterBase *> Painters;
    TGIFPainterBase *DrawPainter = nullptr;

private:
    void GrowScreen();
    void LoadFromDevice(QIODevice &Stream);
    void DrawAnimated(QPainter &Canvas, const QRect &Rect) const;
    void StretchBuffer(QPainter &Canvas, const QRect &Rect) const;
    const std::vector<QRgb> *BufferPalette() const;

    TGIFImageList FImages;
    TGIFHeader FHeader;
    std::optional<std::vector<QRgb>> FPalette;
    mutable QImage FDrawBuffer;
    // The palette the buffer was made with (an indexed buffer's own table).
    mutable std::vector<QRgb> FBufferPalette;
    // The buffer is the draw painter's (not one BufferBitmap made): Draw
    // shows it as it is instead of starting the animation.
    mutable bool FBufferAnimated = false;
    mutable bool FDrawing = false;
    mutable bool FInPalette = false;
};

// Registers the "GIF" picture format (description "GIF Image"); the
// clipboard carries GIF pictures as "image/gif". Unregister takes it out
// again at shutdown.
void RegisterGIFImage();
void UnregisterGIFImage();
inline constexpr const char *GIFClipboardFormat = "image/gif";

} // namespace gif

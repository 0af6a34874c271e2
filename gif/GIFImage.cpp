#include "gif/GIFImage.h"

#include "gif/GIFPainter.h"
#include "platform/core/SyncQueue.h"

#include <QBuffer>
#include <QIODevice>
#include <QMimeData>
#include <QPainter>

#include <algorithm>
#include <thread>

namespace gif {

std::uint16_t GIFDefaultDrawOptions = 0x068F;
int GIFDefaultColorReduction = 6;
int GIFDefaultReductionBits = 8;
int GIFDefaultDitherMode = 0;
int GIFDefaultCompression = 0;
int GIFDefaultThreadPriority = 3;
int GIFDefaultAnimationSpeed = 100;
int GIFDelayExp = 12;
int GIFDefaultDelay = 10;
int GIFMinimumDelay = 3;
int GIFMaximumDelay = 1000;
bool GIFOptimizeOnWrite = false;
bool GIFPaletteDevice = false;

namespace {
TGIFColorReducer &Reducer()
{
    static TGIFColorReducer reducer;
    return reducer;
}
} // namespace

void SetGIFColorReducer(TGIFColorReducer R)
{
    Reducer() = std::move(R);
}

const TGIFColorReducer &GIFColorReducer()
{
    return Reducer();
}

TGIFImage::TGIFImage()
    : DrawOptions(GIFDefaultDrawOptions), ColorReduction(GIFDefaultColorReduction),
      ReductionBits(GIFDefaultReductionBits), DitherMode(GIFDefaultDitherMode), Compression(GIFDefaultCompression),
      ThreadPriority(GIFDefaultThreadPriority), AnimationSpeed(GIFDefaultAnimationSpeed), FImages(this),
      FHeader(this)
{
}

TGIFImage::~TGIFImage()
{
    try {
        PaintStop();
    } catch (...) {
    }
    {
        std::lock_guard lock(PaintersLock);
        for (auto it = Painters.rbegin(); it != Painters.rend(); ++it)
            (*it)->DetachImage();
        Painters.clear();
    }
    FImages.Clear();
}

void TGIFImage::Clear()
{
    PaintStop();
    StopDraw();
    FImages.Clear();
    FHeader.Clear();
    FHeader.Prepare();
    SetPalette(std::nullopt);
}

void TGIFImage::SetWidth(int Value)
{
    for (int i = 0; i < Count(); ++i)
        if (SubImage(i)->Left() + SubImage(i)->Width() > Value)
            Error("Image width too small for contained frames");
    Value = std::clamp(Value, 0, 65535);
    if (Value != FHeader.Width) {
        FHeader.Width = std::uint16_t(Value);
        StopDraw();
        Changed();
    }
}

void TGIFImage::SetHeight(int Value)
{
    for (int i = 0; i < Count(); ++i)
        if (SubImage(i)->Top() + SubImage(i)->Height() > Value)
            Error("Image height too small for contained frames");
    Value = std::clamp(Value, 0, 65535);
    if (Value != FHeader.Height) {
        FHeader.Height = std::uint16_t(Value);
        StopDraw();
        Changed();
    }
}

void TGIFImage::GrowScreen()
{
    for (int i = 0; i < Count(); ++i) {
        const auto *f = SubImage(i);
        FHeader.Width = std::uint16_t(std::clamp(f->Left() + f->Width(), int(FHeader.Width), 65535));
        FHeader.Height = std::uint16_t(std::clamp(f->Top() + f->Height(), int(FHeader.Height), 65535));
    }
}

void TGIFImage::LoadFromDevice(QIODevice &Stream)
{
    const auto start = Stream.pos();
    try {
        FHeader.LoadFromStream(Stream);
        FImages.LoadFromStream(Stream, *this);
        GrowScreen();
        TGIFTrailer trailer(this);
        trailer.LoadFromStream(Stream);
    } catch (...) {
        Stream.seek(start);
        throw;
    }
}

void TGIFImage::LoadFromStream(QIODevice &Stream)
{
    Progress(TProgressStage::psStarting, 0, false, "Loading...");
    try {
        Clear();
        if (Stream.isSequential()) {
            // The reader steps back now and then: read from a copy.
            QByteArray bytes = Stream.readAll();
            QBuffer buf(&bytes);
            buf.open(QIODevice::ReadOnly);
            LoadFromDevice(buf);
        } else {
            LoadFromDevice(Stream);
        }
    } catch (...) {
        Progress(TProgressStage::psEnding, 0, true, "Loading...");
        throw;
    }
    Progress(TProgressStage::psEnding, 100, true, "Loading...");
}

void TGIFImage::SaveToStream(QIODevice &Stream) const
{
    // Saving rebuilds the packed fields of the header and the frames; the
    // picture itself does not change.
    auto &self = const_cast<TGIFImage &>(*this);
    Progress(TProgressStage::psStarting, 0, false, "Saving...");
    try {
        self.FHeader.SaveToStream(Stream);
        self.FImages.SaveToStream(Stream);
        TGIFTrailer trailer(&self);
        trailer.SaveToStream(Stream);
    } catch (...) {
        Progress(TProgressStage::psEnding, 0, true, "Saving...");
        throw;
    }
    Progress(TProgressStage::psEnding, 100, true, "Saving...");
}

int TGIFImage::Version() const
{
    int v = 0;
    for (int i = 0; i < Count() && v < gv89a; ++i)
        v = std::max(v, SubImage(i)->GetVersion());
    return v;
}

int TGIFImage::ColorResolution() const
{
    int r = FHeader.ColorResolution();
    for (int i = 0; i < Count(); ++i)
        r = std::max(r, SubImage(i)->ColorResolution());
    return r;
}

int TGIFImage::BitsPerPixel() const
{
    int b = FHeader.BitsPerPixel();
    for (int i = 0; i < Count(); ++i)
        b = std::max(b, SubImage(i)->BitsPerPixel());
    return b;
}

bool TGIFImage::DitherTest() const
{
    return (DrawOptions & doDither) && (!(DrawOptions & doAutoDither) || GIFPaletteDevice);
}

std::vector<QRgb> TGIFImage::GetPalette() const
{
    if (FInPalette)
        Error("No global or local color table defined");
    FInPalette = true;
    struct Reset {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{FInPalette};
    auto &self = const_cast<TGIFImage &>(*this);
    if (const auto *buffer = BufferPalette())
        return *buffer;
    if (FPalette)
        return *FPalette;
    if (DitherTest()) {
        self.FPalette = WebPalette();
        return *FPalette;
    }
    if (FHeader.ColorMap().Count() > 0) {
        self.FPalette = FHeader.ColorMap().ExportPalette();
        return *FPalette;
    }
    if (Count() > 0)
        return SubImage(0)->GetPalette();
    return {};
}

void TGIFImage::SetPalette(std::optional<std::vector<QRgb>> Value)
{
    if (Value == FPalette)
        return;
    FPalette = std::move(Value);
    const auto *buffer = BufferPalette();
    if (!FDrawBuffer.isNull() && (buffer ? *buffer : std::vector<QRgb>()) != FPalette.value_or(std::vector<QRgb>())) {
        StopDraw();
        PaletteModified = true;
        Changed();
    }
}

void TGIFImage::Warning(const void *Sender, int Severity, const std::string &Message) const
{
    if (OnWarning)
        OnWarning(Sender, Severity, Message);
}

void TGIFImage::Progress(TProgressStage Stage, int Percent, bool Redraw, const std::string &Message) const
{
    if (OnProgress)
        OnProgress(Stage, Percent, Redraw, Message);
}

const std::vector<QRgb> *TGIFImage::BufferPalette() const
{
    return FDrawBuffer.isNull() || FBufferPalette.empty() ? nullptr : &FBufferPalette;
}

void TGIFImage::StopDraw() const
{
    // The painter only draws in steps on this thread, and a stopped one
    // draws no more: the buffer can go at once.
    if (DrawPainter)
        DrawPainter->Stop();
    FDrawBuffer = QImage();
    FBufferPalette.clear();
    FBufferAnimated = false;
}

void TGIFImage::PaintStop()
{
    std::vector<TGIFPainterBase *> painters;
    {
        std::lock_guard lock(PaintersLock);
        painters = Painters;
        for (auto *p : painters)
            p->Stop();
    }
    for (auto *p : painters)
        p->WaitFor();
    StopDraw();
}

namespace {
// A logical-screen-sized buffer, refused above the library's pixel limit.
QImage ScreenBuffer(int Width, int Height, QImage::Format Format)
{
    CheckPixelCount(Width, Height);
    return NewImage(Width, Height, Format);
}

// The pixels the canvas paints on, when it paints on an image: only then can
// they be read back, or drawn on later outside this call.
QImage *CanvasImage(QPainter &Canvas)
{
    QPaintDevice *device = Canvas.device();
    return device && device->devType() == QInternal::Image ? static_cast<QImage *>(device) : nullptr;
}
} // namespace

const QImage &TGIFImage::BufferBitmap() const
{
    if (!FDrawBuffer.isNull() || Empty())
        return FDrawBuffer;
    auto *frame0 = SubImage(0);
    if (frame0->Left() == 0 && frame0->Top() == 0 && frame0->Width() == Width() && frame0->Height() == Height()) {
        FDrawBuffer = frame0->GetBitmap();
        const QList<QRgb> table = FDrawBuffer.colorTable(); // an indexed buffer's own palette
        FBufferPalette.assign(table.begin(), table.end());
        return FDrawBuffer;
    }
    if (Width() <= 0 || Height() <= 0)
        return FDrawBuffer;
    // A screen of any 16-bit size loads (a few bytes can claim one, or grow
    // it by a frame far out); only a buffer of its size is refused.
    QImage buf = ScreenBuffer(Width(), Height(), QImage::Format_RGB32);
    buf.fill(Qt::black);
    {
        QPainter p(&buf);
        frame0->Draw(p, QRect(0, 0, Width(), Height()), false, false);
    }
    FBufferPalette = GetPalette();
    FDrawBuffer = std::move(buf);
    return FDrawBuffer;
}

void TGIFImage::StretchBuffer(QPainter &Canvas, const QRect &Rect) const
{
    if (FDrawBuffer.isNull() || Rect.isEmpty())
        return;
    if (!(DrawOptions & doTile) || Width() <= 0 || Height() <= 0) {
        Canvas.drawImage(Rect, FDrawBuffer);
        return;
    }
    // Tiles of the logical screen's size from the rectangle's top left corner,
    // kept within the rectangle; one textured fill, however small the tiles.
    const QImage tile = FDrawBuffer.size() == QSize(Width(), Height())
                            ? FDrawBuffer
                            : FDrawBuffer.scaled(Width(), Height(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    Canvas.save();
    Canvas.setBrushOrigin(Rect.topLeft());
    Canvas.fillRect(Rect, QBrush(tile));
    Canvas.restore();
}

void TGIFImage::Draw(QPainter &Canvas, const QRect &Rect) const
{
    if (FDrawing || Empty())
        return;
    FDrawing = true;
    struct Reset {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{FDrawing};
    if (Count() > 1 && (DrawOptions & doAnimate)) {
        DrawAnimated(Canvas, Rect);
        return;
    }
    const int i = ForceFrame >= 0 && ForceFrame < Count() ? ForceFrame : 0;
    SubImage(i)->Draw(Canvas, Rect, DrawOptions & doTile, DrawOptions & doTransparent);
}

void TGIFImage::DrawAnimated(QPainter &Canvas, const QRect &Rect) const
{
    auto &self = const_cast<TGIFImage &>(*this);
    QImage *const direct = (DrawOptions & doDirectDraw) ? CanvasImage(Canvas) : nullptr;
    const QRect target = direct ? Canvas.transform().mapRect(Rect) : Rect;
    if (!direct && FBufferAnimated && !FDrawBuffer.isNull()) {
        StretchBuffer(Canvas, Rect);
        return;
    }
    std::lock_guard lock(self.PaintersLock);
    if (const auto *running = static_cast<const TGIFPainter *>(DrawPainter);
        running && direct && running->Canvas.Image == direct && running->Rect == target)
        return;
    // The painter that drew elsewhere (or into a buffer that is gone) ends first.
    while (auto *old = static_cast<TGIFPainter *>(DrawPainter)) {
        old->Stop();
        if (!old->Threaded())
            break;
        old->WaitFor();
        if (DrawPainter == old)
            break; // its own step runs further up this stack: it ends right after
    }
    StopDraw();
    TGIFCanvas canvas;
    QRect area = target;
    // A synchronous painter runs while Canvas is still open on that image,
    // and an image takes one painter at a time: it paints on a copy, and
    // every frame goes through Canvas.
    QImage copy;
    if (direct && !(DrawOptions & doThreaded)) {
        copy = direct->copy(); // deep: a shared copy would share the open paint engine
        canvas.Image = &copy;
        canvas.Changed = [&Canvas, &copy](const QRect &r) {
            Canvas.save();
            Canvas.resetTransform();
            Canvas.setCompositionMode(QPainter::CompositionMode_Source);
            Canvas.drawImage(r, copy, r);
            Canvas.restore();
        };
    } else if (direct) {
        canvas.Image = direct;
    } else {
        const std::vector<QRgb> palette = GetPalette();
        // What lies under Rect is the animation's underlay; a canvas that
        // cannot be read back (a widget's) shows through where it is clear.
        QImage buf = ScreenBuffer(Width(), Height(), QImage::Format_ARGB32_Premultiplied);
        buf.fill(Qt::transparent);
        if (const QImage *under = CanvasImage(Canvas)) {
            QPainter p(&buf);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.drawImage(buf.rect(), *under, Canvas.transform().mapRect(Rect));
        }
        FDrawBuffer = std::move(buf);
        FBufferPalette = palette;
        FBufferAnimated = true;
        canvas.Image = &FDrawBuffer;
        canvas.Changed = [this](const QRect &) { Changed(); };
        area = FDrawBuffer.rect();
    }
    auto *painter = static_cast<TGIFPainter *>(InternalPaint(&self.DrawPainter, self, canvas, area, DrawOptions));
    if (painter) {
        painter->Launch();
        // The first frame is shown at once; the painter's steps run here. A
        // painter never draws when frame 0 has no pixels: no waiting then.
        const bool drawsFirst = !direct && !SubImage(0)->Empty();
        while (drawsFirst && DrawPainter == painter && !painter->Painted && !painter->Terminated())
            if (!platform::CheckSynchronize(1))
                std::this_thread::yield();
    }
    if (!direct)
        StretchBuffer(Canvas, Rect);
}

void TGIFImage::AssignTo(platform::TGraphic &Dest) const
{
    // Drawing onto a metafile canvas has no counterpart here.
    if (std::string(Dest.ClassName()) == "TMetafile")
        Error("Metafile output is not supported");
    platform::TGraphic::AssignTo(Dest);
}

void TGIFImage::AssignTo(QImage &Dest) const
{
    Dest = BufferBitmap();
}

void TGIFImage::Assign(const platform::TGraphic &Source)
{
    if (&Source == this)
        return;
    const auto *src = dynamic_cast<const TGIFImage *>(&Source);
    if (!src) {
        QImage img;
        Source.AssignTo(img);
        Assign(img);
        return;
    }
    Clear();
    OnProgress = src->OnProgress;
    OnWarning = src->OnWarning;
    struct Reset {
        TGIFImage &image;
        ~Reset()
        {
            image.OnWarning = nullptr;
            image.OnProgress = nullptr;
        }
    } reset{*this};
    Progress(TProgressStage::psStarting, 0, false, "Copying...");
    try {
        FHeader.Assign(src->FHeader);
        ThreadPriority = src->ThreadPriority;
        BackgroundColor = src->BackgroundColor;
        DrawOptions = src->DrawOptions;
        ColorReduction = src->ColorReduction;
        DitherMode = src->DitherMode;
        ForceFrame = src->ForceFrame;
        OnPassStart = src->OnPassStart;
        OnFrameStart = src->OnFrameStart;
        OnFrameDone = src->OnFrameDone;
        OnLoopRestart = src->OnLoopRestart;
        OnPaintDone = src->OnPaintDone;
        for (int i = 0; i < src->Count(); ++i) {
            auto frame = std::make_unique<TGIFSubImage>(this);
            frame->Assign(*src->SubImage(i));
            FImages.Add(std::move(frame));
            Progress(TProgressStage::psRunning, (i + 1) * 100 / src->Count(), false, "Copying...");
        }
        GrowScreen();
    } catch (...) {
        Progress(TProgressStage::psEnding, 0, false, "Copying...");
        throw;
    }
    Progress(TProgressStage::psEnding, 100, false, "Copying...");
}

void TGIFImage::Assign(const QImage &Source)
{
    Clear();
    if (Source.isNull())
        return;
    auto frame = std::make_unique<TGIFSubImage>(this);
    frame->Assign(Source);
    FImages.Add(std::move(frame));
}

int TGIFImage::Add(const QImage &Source)
{
    auto frame = std::make_unique<TGIFSubImage>(this);
    frame->Assign(Source);
    return Add(std::move(frame));
}

int TGIFImage::Add(std::unique_ptr<TGIFSubImage> Source)
{
    if (!Source)
        Error("Object type not supported for operation");
    const int i = FImages.Add(std::move(Source));
    StopDraw();
    Changed();
    return i;
}

void TGIFImage::LoadFromClipboardFormat(const QMimeData &Data)
{
    if (Data.hasFormat(GIFClipboardFormat)) {
        QByteArray bytes = Data.data(GIFClipboardFormat);
        QBuffer buf(&bytes);
        buf.open(QIODevice::ReadOnly);
        LoadFromStream(buf);
    } else if (Data.hasImage()) {
        Assign(qvariant_cast<QImage>(Data.imageData()));
    } else {
        throw platform::EInvalidGraphic("Unsupported clipboard format");
    }
}

void TGIFImage::SaveToClipboardFormat(QMimeData &Data) const
{
    if (Empty())
        return;
    Data.setImageData(BufferBitmap());
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    SaveToStream(buf);
    Data.setData(GIFClipboardFormat, buf.data());
}

namespace {
bool g_registered = false;
}

void RegisterGIFImage()
{
    if (g_registered)
        return;
    platform::RegisterFileFormat<TGIFImage>("GIF", "GIF Image");
    g_registered = true;
}

void UnregisterGIFImage()
{
    if (!g_registered)
        return;
    platform::UnregisterGraphicClass("TGIFImage");
    g_registered = false;
}

} // namespace gif

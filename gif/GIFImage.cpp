#include "gif/GIFImage.h"

#include <QBuffer>
#include <QIODevice>
#include <QMimeData>
#include <QPainter>

#include <algorithm>

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
    if (!FDrawBuffer.isNull()) {
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

void TGIFImage::Changed() const
{
    if (OnChange)
        OnChange();
}

void TGIFImage::StopDraw() const
{
    if (DrawPainter)
        DrawPainter->Stop();
    FDrawBuffer = QImage();
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

const QImage &TGIFImage::BufferBitmap() const
{
    if (!FDrawBuffer.isNull() || Empty())
        return FDrawBuffer;
    auto *frame0 = SubImage(0);
    if (frame0->Left() == 0 && frame0->Top() == 0 && frame0->Width() == Width() && frame0->Height() == Height()) {
        FDrawBuffer = frame0->GetBitmap();
        return FDrawBuffer;
    }
    if (Width() <= 0 || Height() <= 0)
        return FDrawBuffer;
    // A screen of any 16-bit size loads (a few bytes can claim one, or grow
    // it by a frame far out); only a buffer of its size is refused.
    CheckPixelCount(Width(), Height());
    QImage buf(Width(), Height(), QImage::Format_RGB32);
    if (buf.isNull())
        throw platform::EOutOfResources("Out of system resources");
    buf.fill(Qt::black);
    {
        QPainter p(&buf);
        frame0->Draw(p, QRect(0, 0, Width(), Height()), false, false);
    }
    FDrawBuffer = std::move(buf);
    return FDrawBuffer;
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
    const int i = ForceFrame >= 0 && ForceFrame < Count() ? ForceFrame : 0;
    SubImage(i)->Draw(Canvas, Rect, DrawOptions & doTile, DrawOptions & doTransparent);
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

void RegisterGIFImage()
{
    platform::RegisterFileFormat<TGIFImage>("GIF", "GIF Image");
}

} // namespace gif

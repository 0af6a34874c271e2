#include "platform/gui/Graphic.h"

#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QVariant>

#include <algorithm>
#include <cctype>
#include <mutex>

namespace platform {

namespace {

std::string Lower(std::string s)
{
    for (auto &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string WithoutDot(const std::string &ext) { return !ext.empty() && ext[0] == '.' ? ext.substr(1) : ext; }

struct Table {
    std::mutex lock;
    std::vector<TFileFormat> formats; // newest first
};

Table &Formats()
{
    static Table table;
    return table;
}

// The extension of a file name (after the last '.' of its last part).
std::string ExtensionOf(const std::string &name)
{
    const auto pos = name.find_last_of("./");
    return pos == std::string::npos || name[pos] != '.' ? std::string() : name.substr(pos + 1);
}

// Guards a pair of base Assign/AssignTo calls against handing back and forth.
thread_local const void *g_handing = nullptr;

class HandingGuard {
public:
    explicit HandingGuard(const void *who) : previous_(g_handing) { g_handing = who; }
    ~HandingGuard() { g_handing = previous_; }
    HandingGuard(const HandingGuard &) = delete;
    HandingGuard &operator=(const HandingGuard &) = delete;

private:
    const void *previous_;
};

} // namespace

// ------------------------------------------------------------------ TGraphic

void TGraphic::Assign(const TGraphic &Source)
{
    if (g_handing == this || g_handing == &Source)
        throw EConvertError(std::string("Cannot assign a ") + Source.ClassName() + " to a " + ClassName());
    HandingGuard guard(this);
    Source.AssignTo(*this);
}

void TGraphic::AssignTo(TGraphic &Dest) const
{
    if (g_handing == this || g_handing == &Dest)
        throw EConvertError(std::string("Cannot assign a ") + ClassName() + " to a " + Dest.ClassName());
    HandingGuard guard(this);
    Dest.Assign(*this);
}

void TGraphic::AssignTo(QImage &Dest) const
{
    if (Empty() || Width() < 1 || Height() < 1) {
        Dest = QImage();
        return;
    }
    if (std::int64_t(Width()) * Height() > (std::int64_t(1) << 28))
        throw EInvalidGraphic("Picture too large");
    QImage image(Width(), Height(), QImage::Format_RGB32);
    if (image.isNull())
        throw EOutOfResources("Not enough memory for the picture");
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        Draw(painter, image.rect());
    }
    Dest = image.convertToFormat(QImage::Format_BGR888);
}

void TGraphic::LoadFromFile(const std::string &FileName)
{
    QFile file(QString::fromStdString(FileName));
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError("Cannot open file \"" + FileName + "\". " + file.errorString().toStdString());
    LoadFromStream(file);
}

void TGraphic::SaveToFile(const std::string &FileName) const
{
    QFile file(QString::fromStdString(FileName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw EFCreateError("Cannot create file \"" + FileName + "\". " + file.errorString().toStdString());
    try {
        SaveToStream(file);
        if (!file.flush())
            throw EStreamError("Stream write error");
    } catch (...) {
        file.remove();
        throw;
    }
}

void TGraphic::LoadFromClipboardFormat(const QMimeData &)
{
    throw EInvalidGraphic(std::string("Unsupported clipboard format for ") + ClassName());
}

void TGraphic::SaveToClipboardFormat(QMimeData &Data) const
{
    QImage image;
    AssignTo(image);
    Data.setImageData(image);
}

// ---------------------------------------------------------------- the table

void RegisterFileFormat(const std::string &Extension, const std::string &Description, const std::string &ClassName,
                        TGraphicFactory Create)
{
    Table &t = Formats();
    std::lock_guard<std::mutex> guard(t.lock);
    t.formats.insert(t.formats.begin(), TFileFormat{WithoutDot(Extension), Description, ClassName, std::move(Create)});
}

void UnregisterGraphicClass(const std::string &ClassName)
{
    Table &t = Formats();
    std::lock_guard<std::mutex> guard(t.lock);
    std::erase_if(t.formats, [&](const TFileFormat &f) { return f.ClassName == ClassName; });
}

std::optional<TFileFormat> FindFileFormat(const std::string &Extension)
{
    const std::string ext = Lower(WithoutDot(Extension));
    if (ext.empty())
        return std::nullopt;
    Table &t = Formats();
    std::lock_guard<std::mutex> guard(t.lock);
    for (const auto &f : t.formats)
        if (Lower(f.Extension) == ext)
            return f;
    return std::nullopt;
}

std::vector<TFileFormat> FileFormats()
{
    Table &t = Formats();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.formats;
}

// ------------------------------------------------------------------ TPicture

void TPicture::LoadFromFile(const std::string &FileName)
{
    const std::string ext = ExtensionOf(FileName);
    const std::optional<TFileFormat> format = FindFileFormat(ext);
    if (!format)
        throw EInvalidGraphic("Unknown picture file extension (." + Lower(ext) + ")");
    std::unique_ptr<TGraphic> graphic = format->Create();
    graphic->LoadFromFile(FileName);
    Graphic = std::move(graphic);
}

void TPicture::SaveToFile(const std::string &FileName) const
{
    if (Graphic)
        Graphic->SaveToFile(FileName);
}

int TPicture::Width() const { return Graphic ? Graphic->Width() : 0; }
int TPicture::Height() const { return Graphic ? Graphic->Height() : 0; }

} // namespace platform

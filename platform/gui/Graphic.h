#pragma once
// Pictures of the platform layer: the graphic base class that every picture
// format derives from, the table of picture file formats by extension, and a
// picture that loads a file through that table. Only Qt Gui is needed here,
// so the image libraries use it without Qt Widgets.
#include "platform/core/Exceptions.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QIODevice;
class QImage;
class QMimeData;
class QPainter;
class QRect;

namespace platform {

class TGraphic {
public:
    TGraphic() = default;
    virtual ~TGraphic() = default;
    TGraphic(const TGraphic &) = delete;
    TGraphic &operator=(const TGraphic &) = delete;

    virtual const char *ClassName() const { return "TGraphic"; }

    // Copies between graphics. The base versions hand the call to the other
    // side; when neither knows the other: EConvertError "Cannot assign a <Source>
    // to a <Dest>".
    virtual void Assign(const TGraphic &Source);
    virtual void AssignTo(TGraphic &Dest) const;
    // The pixels as an image; the base draws the graphic onto a 24-bit image
    // of its size (an empty graphic gives a null image).
    virtual void AssignTo(QImage &Dest) const;

    // Draws the whole graphic stretched into Rect.
    virtual void Draw(QPainter &Canvas, const QRect &Rect) const = 0;
    virtual bool Empty() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetWidth(int Value) = 0;
    virtual void SetHeight(int Value) = 0;

    // The base file versions open the file and use the stream versions; a
    // file that cannot be opened raises EFOpenError / EFCreateError, and a
    // failed save removes the file.
    virtual void LoadFromFile(const std::string &FileName);
    virtual void SaveToFile(const std::string &FileName) const;
    virtual void LoadFromStream(QIODevice &Stream) = 0;
    virtual void SaveToStream(QIODevice &Stream) const = 0;
    // Clipboard data of the graphic's kind (the base takes and gives an image).
    virtual void LoadFromClipboardFormat(const QMimeData &Data);
    virtual void SaveToClipboardFormat(QMimeData &Data) const;

    // Told after the picture changed; a picture control repaints then (an
    // animated picture reports each new frame so).
    std::function<void()> OnChange;
    void Changed() const
    {
        if (OnChange)
            OnChange();
    }
};

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

struct TFileFormat {
    std::string Extension; // without the dot, as registered
    std::string Description;
    std::string ClassName;
    TGraphicFactory Create;
};

// Registers a picture file format. Extensions compare without regard to
// case; a later registration of an extension takes precedence.
void RegisterFileFormat(const std::string &Extension, const std::string &Description, const std::string &ClassName,
                        TGraphicFactory Create);
template <typename G>
void RegisterFileFormat(const std::string &Extension, const std::string &Description)
{
    RegisterFileFormat(Extension, Description, G().ClassName(), [] { return std::make_unique<G>(); });
}
// Takes every extension of a graphic class out of the table (its unit is
// going away).
void UnregisterGraphicClass(const std::string &ClassName);
// The format registered for an extension (with or without its dot), or none.
std::optional<TFileFormat> FindFileFormat(const std::string &Extension);
// The whole table, newest registration first.
std::vector<TFileFormat> FileFormats();

// A picture of any registered format, chosen by the file's extension.
class TPicture {
public:
    std::unique_ptr<TGraphic> Graphic;

    // An extension without a registered format raises EInvalidGraphic
    // "Unknown picture file extension (.<ext>)"; the picture is then unchanged.
    void LoadFromFile(const std::string &FileName);
    void SaveToFile(const std::string &FileName) const;
    int Width() const;
    int Height() const;
    bool Empty() const { return !Graphic || Graphic->Empty(); }
};

} // namespace platform

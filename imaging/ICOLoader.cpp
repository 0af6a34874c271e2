// The ICO/CUR loader: choosing an image on loading, building a one-image file
// on saving, and the loader's registration.
#include "imaging/ICOLoader.h"

#include "imaging/HostStream.h"
#include "imaging/MemStream.h"

#include <algorithm>
#include <utility>

namespace imaging {

namespace {


TIconSelectionHook &Hook()
{
    static TIconSelectionHook hook;
    return hook;
}

TLoaderSlot<TICOLoader> &Slot()
{
    static TLoaderSlot<TICOLoader> slot;
    return slot;
}

// Reads the list from Stream, through memory when Stream cannot seek.
void ReadList(TBaseStream &Stream, TIconList &List)
{
    if (auto *seekable = dynamic_cast<TSeekableStream *>(&Stream)) {
        List.LoadFromStream(*seekable);
        return;
    }
    TMemStream memory;
    {
        TNoDataExceptOff off(Stream);
        if (CopyStreamData(Stream, &memory, kMaxTempStreamBytes + 1) > kMaxTempStreamBytes)
            throw ELinearBitmap("Image data larger than 104857600 bytes");
    }
    memory.Seek(0);
    List.LoadFromStream(memory);
}

void CheckNotEmpty(const TIconList &List)
{
    if (List.Count() > 0)
        return;
    if (List.Skipped > 0)
        throw ELinearBitmap("No icons in file with 1, 4, 8 or 24 bits per pixel");
    throw ELinearBitmap("No icons in file");
}

bool SameColor(const std::uint8_t *bgr, std::uint32_t color)
{
    return bgr[2] == (color & 0xFF) && bgr[1] == ((color >> 8) & 0xFF) && bgr[0] == ((color >> 16) & 0xFF);
}

void SetMaskBit(TIconImage &image, int col, int row)
{
    image.AndBits[static_cast<std::size_t>(row) * image.AndBytesPerLine + col / 8] |=
        static_cast<std::uint8_t>(0x80 >> (col % 8));
}

void Fill24(TIconImage &image, const TLinearBitmap &bitmap, std::uint32_t transparent)
{
    for (int row = 0; row < image.Height; ++row) {
        const std::uint8_t *s = bitmap.ScanLine(image.Height - 1 - row);
        std::uint8_t *d = image.XorBits.data() + static_cast<std::size_t>(row) * image.XorBytesPerLine;
        for (int col = 0; col < image.Width; ++col, s += 3, d += 3) {
            if (SameColor(s, transparent))
                SetMaskBit(image, col, row); // colour stays black
            else
                std::copy(s, s + 3, d);
        }
    }
}

void FillIndexed(TIconImage &image, const TLinearBitmap &bitmap, const std::uint8_t *palette,
                 std::uint32_t transparent)
{
    for (int row = 0; row < image.Height; ++row) {
        const std::uint8_t *s = bitmap.ScanLine(image.Height - 1 - row);
        std::uint8_t *d = image.XorBits.data() + static_cast<std::size_t>(row) * image.XorBytesPerLine;
        for (int col = 0; col < image.Width; ++col) {
            if (SameColor(palette + 3 * s[col], transparent)) {
                SetMaskBit(image, col, row); // index 0
            } else if (image.BitCount == 4) {
                d[col / 2] = static_cast<std::uint8_t>(d[col / 2] | (col % 2 ? s[col] : s[col] << 4));
            } else {
                d[col] = s[col];
            }
        }
    }
    PaletteToEntries(palette, image.Palette.data(), static_cast<int>(image.Palette.size()));
    for (TPaletteEntry &e : image.Palette)
        if (EntryColor(e) == transparent)
            e.peRed = e.peGreen = e.peBlue = 0;
}

} // namespace

TIconSelectionHook SetIconSelectionHook(TIconSelectionHook NewHook)
{
    return std::exchange(Hook(), std::move(NewHook));
}

bool TICOLoader::CanLoad(const std::string &Ext)
{
    const std::string e = UpperCase(Ext);
    return e == "ICO" || e == "CUR";
}

bool TICOLoader::CanSave(const std::string &Ext) { return CanLoad(Ext); }

void TICOLoader::GetLoadFilter(std::string &Filter)
{
    Filter = "Windows icon (*.ico)|*.ico|Windows cursor (*.cur)|*.cur";
}

void TICOLoader::LoadFromStream(TBaseStream &Stream, const std::string & /*Ext*/, TLinearBitmap &Bitmap)
{
    TIconList list;
    ReadList(Stream, list);
    CheckNotEmpty(list);
    int index = 0;
    if (!NoDialog && Hook()) {
        // Shown also for a single image: the user picks the transparent colour there.
        const std::optional<TIconChoice> choice = Hook()(list, TransparentColor);
        if (!choice || choice->Index < 0 || choice->Index >= list.Count())
            throw EIconSelectionAborted();
        TransparentColor = choice->TransparentColor & 0xFFFFFF;
        index = choice->Index;
    }
    const TIconImage &image = list[index];
    if (list.Kind == TIconList::ikCursor) {
        HotSpotX = image.HotSpotX;
        HotSpotY = image.HotSpotY;
    }
    image.AssignTo(Bitmap, TransparentColor);
}

void TICOLoader::SaveToStream(TBaseStream &Stream, const std::string &Ext, const TLinearBitmap &Bitmap)
{
    if (Bitmap.Width > 255 || Bitmap.Height > 255)
        throw Exception("Image is too large for icon");
    if (!Bitmap.Present || !Bitmap.Map || Bitmap.Width < 1 || Bitmap.Height < 1)
        throw ELinearBitmap(kUnsupportedPixelFormat);
    // 16-bit grey and 32-bit pixels have no palette to index: convert a copy
    // (to 8-bit grey and 24-bit) rather than read one that is not there.
    const TLinearBitmap *source = &Bitmap;
    TLinearBitmap converted;
    if (Bitmap.PixelFormat == pf16bit || Bitmap.PixelFormat == pf32bit) {
        converted.Assign(Bitmap);
        converted.ChangePixelFormat(Bitmap.PixelFormat == pf16bit ? pf8bit : pf24bit);
        source = &converted;
    } else if (Bitmap.PixelFormat != pf8bit && Bitmap.PixelFormat != pf24bit) {
        throw ELinearBitmap(kUnsupportedPixelFormat);
    }

    TIconList list;
    list.Kind = UpperCase(Ext) == "ICO" ? TIconList::ikIcon : TIconList::ikCursor;
    const std::uint32_t transparent = TransparentColor & 0xFFFFFF;
    TIconImage *image = nullptr;
    if (source->PixelFormat == pf24bit) {
        image = &list.Add(source->Width, source->Height, 24);
        Fill24(*image, *source, transparent);
    } else {
        const std::uint8_t *palette = source->Palette ? source->Palette.get() : GreyPalette.data();
        int highest = 1;
        for (int y = 0; y < source->Height; ++y) {
            const std::uint8_t *s = source->ScanLine(y);
            for (int x = 0; x < source->Width; ++x)
                if (s[x] > highest && !SameColor(palette + 3 * s[x], transparent))
                    highest = s[x];
        }
        image = &list.Add(source->Width, source->Height, highest + 1 <= 16 ? 4 : 8);
        FillIndexed(*image, *source, palette, transparent);
    }
    // A cursor's entry holds the hot spot; an icon's the planes and bit count.
    if (list.Kind == TIconList::ikCursor) {
        image->HotSpotX = HotSpotX;
        image->HotSpotY = HotSpotY;
    } else {
        image->HotSpotX = 1;
        image->HotSpotY = image->BitCount;
    }
    list.SaveToStream(Stream);
}

// -------------------------------------------------------------- TIconGraphic

void TIconGraphic::LoadFromStream(QIODevice &Stream)
{
    THostFilterStream adapter(Stream);
    TIconList list;
    ReadList(adapter, list);
    CheckNotEmpty(list);
    TLinearBitmap image;
    list[0].AssignTo(image, ICOLoader() ? ICOLoader()->TransparentColor : 0xFF00FF);
    Image.TakeOver(image);
}

void TIconGraphic::SaveToStream(QIODevice &Stream) const
{
    THostFilterStream adapter(Stream);
    TICOLoader saver;
    if (const TICOLoader *loader = ICOLoader()) {
        saver.TransparentColor = loader->TransparentColor;
        saver.HotSpotX = loader->HotSpotX;
        saver.HotSpotY = loader->HotSpotY;
    }
    saver.SaveToStream(adapter, "CUR", Image);
}

// -------------------------------------------------------------- registration

TICOLoader *ICOLoader() { return Slot().Get(); }

void RegisterICOLoader(TIconSelectionHook NewHook)
{
    if (NewHook)
        SetIconSelectionHook(std::move(NewHook));
    if (Slot().Register())
        platform::RegisterFileFormat<TIconGraphic>("CUR", "Windows cursors");
}

void UnregisterICOLoader()
{
    SetIconSelectionHook({});
    if (Slot().Unregister())
        platform::UnregisterGraphicClass("TIconGraphic");
}

} // namespace imaging

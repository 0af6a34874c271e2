#include "imaging/PCXLoader.h"

#include "imaging/BufStream.h"
#include "imaging/Progress.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace imaging {

const char *const PCXDescription = "Zsoft Paintbrush";

namespace {

constexpr int kHeaderSize = 128;
constexpr std::uint8_t kPaletteMarker = 12;

int GetI16(const std::uint8_t *p) { return static_cast<std::int16_t>(p[0] | (p[1] << 8)); }

void PutU16(std::uint8_t *p, int v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

// Bytes of a buffered stream taken in place; when they run out, a plain read
// of one byte raises the stream's short-read error.
class ByteReader {
public:
    explicit ByteReader(TBufferedStream &s) : s_(s) {}
    ~ByteReader() { Give(); }
    std::uint8_t Next()
    {
        if (p_ == end_) {
            Give();
            int n = 0;
            p_ = start_ = s_.Peek(n);
            end_ = p_ ? p_ + n : p_;
            if (p_ == end_) {
                std::uint8_t b = 0;
                if (s_.Read(&b, 1) != 1)
                    throw EInOutError(kReadLessThanExpected);
                return b;
            }
        }
        return *p_++;
    }

private:
    void Give()
    {
        if (p_ != start_)
            s_.Skip(static_cast<int>(p_ - start_));
        p_ = start_ = end_ = nullptr;
    }
    TBufferedStream &s_;
    const std::uint8_t *p_ = nullptr, *start_ = nullptr, *end_ = nullptr;
};

// Run-length codes `count` bytes `step` apart; runs never leave them.
void EncodeRuns(const std::uint8_t *p, int count, int step, std::vector<std::uint8_t> &out)
{
    int i = 0;
    while (i < count) {
        const std::uint8_t v = p[std::size_t(i) * step];
        int run = 1;
        while (run < 63 && i + run < count && p[std::size_t(i + run) * step] == v)
            ++run;
        if (run > 1 || v >= 0xC0)
            out.push_back(static_cast<std::uint8_t>(0xC0 + run));
        out.push_back(v);
        i += run;
    }
}

void WriteAll(TBaseStream &s, const std::vector<std::uint8_t> &v)
{
    const int n = static_cast<int>(v.size());
    if (n > 0 && s.Write(v.data(), n) != n)
        throw EInOutError(kReadLessThanExpected);
}

} // namespace

bool TPCXLoader::CanLoad(const std::string &Ext)
{
    return UpperCase(Ext) == "PCX";
}

bool TPCXLoader::CanSave(const std::string &Ext) { return CanLoad(Ext); }

void TPCXLoader::GetLoadFilter(std::string &Filter) { Filter = std::string(PCXDescription) + " (*.pcx)|*.pcx"; }

void TPCXLoader::LoadFromStream(TBaseStream &Stream, const std::string & /*Ext*/, TLinearBitmap &Bitmap)
{
    TBufferedStream in(-1, 0, &Stream);
    std::uint8_t h[kHeaderSize];
    if (in.Read(h, kHeaderSize) != kHeaderSize)
        throw EInOutError(kReadLessThanExpected);
    const int planes = h[65];
    if (h[0] != 10 || h[1] != 5 || h[2] != 1 || h[3] != 8 || (planes != 1 && planes != 3))
        throw ELinearBitmap("Unsupported file format");
    const int width = GetI16(h + 8) - GetI16(h + 4) + 1;
    const int height = GetI16(h + 10) - GetI16(h + 6) + 1;
    const int bpl = GetI16(h + 66);
    // The picture must lie inside the scan lines the file stores.
    if (width < 1 || height < 1 || bpl < width)
        throw ELinearBitmap("Unsupported file format");
    Bitmap.New(bpl, height, planes == 1 ? pf8bit : pf24bit);
    if (planes == 1)
        std::memcpy(Bitmap.Palette.get(), GreyPalette.data(), 768);

    // Runs may cross scan lines and planes: decode into the file's order of
    // lines (one plane, or red, green, blue of a row) and place each full line.
    const int line = bpl * planes;
    std::vector<std::uint8_t> rowBuf(planes == 3 ? static_cast<std::size_t>(line) : 0);
    {
        ByteReader bytes(in);
        std::uint8_t pending = 0;
        int left = 0; // copies of `pending` still to place
        for (int y = 0; y < height; ++y) {
            std::uint8_t *dst = planes == 1 ? Bitmap.ScanLine(y) : rowBuf.data();
            int x = 0;
            while (x < line) {
                if (left == 0) {
                    const std::uint8_t b = bytes.Next();
                    if ((b & 0xC0) == 0xC0) {
                        left = b & 0x3F ? b & 0x3F : 1;
                        pending = bytes.Next();
                    } else {
                        left = 1;
                        pending = b;
                    }
                }
                const int n = std::min(left, line - x);
                std::memset(dst + x, pending, static_cast<std::size_t>(n));
                x += n;
                left -= n;
            }
            if (planes == 3) {
                std::uint8_t *row = Bitmap.ScanLine(y);
                const std::uint8_t *r = rowBuf.data(), *g = r + bpl, *b = g + bpl;
                for (int i = 0; i < bpl; ++i, row += 3) {
                    row[0] = b[i];
                    row[1] = g[i];
                    row[2] = r[i];
                }
            }
            ReportProgress(static_cast<int>(std::int64_t(y + 1) * line * 100 / Bitmap.Size));
        }
        if (left > 0)
            throw ELinearBitmap("Error in bitmap data");
    }
    if (width < bpl)
        Bitmap.Resize(width, height, 0, 0, 0);
    if (planes != 1)
        return;
    // The palette: a marker byte, then 256 red-green-blue entries. Without
    // them the grey ramp stays.
    TNoDataExceptOff quiet(in);
    try {
        std::uint8_t b = 0;
        {
            ByteReader tail(in);
            do {
                b = tail.Next();
            } while (b != kPaletteMarker);
        }
        std::uint8_t rgb[768];
        if (in.Read(rgb, 768) == 768)
            RGBToBGRPalette(rgb, Bitmap.Palette.get());
    } catch (const EInOutError &) {
        // The file ended before a palette: not an error.
    }
}

void TPCXLoader::SaveToStream(TBaseStream &Stream, const std::string & /*Ext*/, const TLinearBitmap &Bitmap)
{
    if (!Bitmap.Present || !Bitmap.Map || Bitmap.Width < 1 || Bitmap.Height < 1)
        throw ELinearBitmap("Unsupported pixel format");
    // Xmax, Ymax and the bytes per line are signed 16-bit fields.
    if (Bitmap.Width > 32767 || Bitmap.Height > 32768)
        throw ELinearBitmap("Invalid bitmap size");
    const TLinearBitmap *img = &Bitmap;
    TLinearBitmap converted;
    if (Bitmap.PixelFormat != pf8bit && Bitmap.PixelFormat != pf24bit) {
        converted.Assign(Bitmap);
        converted.ChangePixelFormat(pf24bit);
        img = &converted;
    }
    const bool indexed = img->PixelFormat == pf8bit;
    const int w = img->Width, ht = img->Height;

    TBufferedStream out(0, -1, &Stream);
    std::vector<std::uint8_t> buf(kHeaderSize, 0);
    buf[0] = 10;
    buf[1] = 5;
    buf[2] = 1;
    buf[3] = 8;
    PutU16(&buf[8], w - 1);
    PutU16(&buf[10], ht - 1);
    PutU16(&buf[12], 96);
    PutU16(&buf[14], 96);
    buf[65] = indexed ? 1 : 3;
    PutU16(&buf[66], w);
    WriteAll(out, buf);
    for (int y = 0; y < ht; ++y) {
        buf.clear();
        const std::uint8_t *row = img->ScanLine(y);
        if (indexed) {
            EncodeRuns(row, w, 1, buf);
        } else {
            for (int plane = 2; plane >= 0; --plane) // red, green, blue
                EncodeRuns(row + plane, w, 3, buf);
            if (ht > 1)
                ReportProgress(y * 100 / (ht - 1));
        }
        WriteAll(out, buf);
    }
    if (indexed) {
        buf.assign(769, kPaletteMarker);
        const std::uint8_t *pal = img->Palette ? img->Palette.get() : GreyPalette.data();
        for (int i = 0; i < 256; ++i) {
            buf[1 + 3 * i] = pal[3 * i + 2];
            buf[2 + 3 * i] = pal[3 * i + 1];
            buf[3 + 3 * i] = pal[3 * i];
        }
        WriteAll(out, buf);
    }
    out.Finish();
}

// ------------------------------------------------------------ registration

namespace {
TLoaderSlot<TPCXLoader> &Slot()
{
    static TLoaderSlot<TPCXLoader> slot;
    return slot;
}
} // namespace

TPCXLoader *PCXLoader() { return Slot().Get(); }

void RegisterPCXLoader()
{
    if (Slot().Register())
        platform::RegisterFileFormat<TPCXGraphic>("PCX", PCXDescription);
}

void UnregisterPCXLoader()
{
    if (Slot().Unregister())
        platform::UnregisterGraphicClass("TPCXGraphic");
}

} // namespace imaging

#include "imaging/HIPSLoader.h"

#include "imaging/HostStream.h"
#include "imaging/InputQuery.h"
#include "imaging/Progress.h"
#include "imaging/TextStrm.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace imaging {

const char *const HIPSDescription = "HIPS image";

using platform::EAbort;
using platform::EConvertError;

namespace {

enum class TKind { Bytes, Floats, RGB, Floats3 };

std::string Trim(const std::string &s)
{
    // Carriage returns stay in lines that end at a line feed: a file written
    // with CR LF must still give its numbers.
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

bool WholeNumber(const std::string &Text, long long &Value)
{
    const std::string s = Trim(Text);
    std::size_t i = s.size() > 1 && (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (i == s.size() || s.size() - i > 12)
        return false;
    long long v = 0;
    for (std::size_t k = i; k < s.size(); ++k) {
        if (s[k] < '0' || s[k] > '9')
            return false;
        v = v * 10 + (s[k] - '0');
    }
    Value = s[0] == '-' ? -v : v;
    return true;
}

int StrToInt(const std::string &Text)
{
    long long v = 0;
    if (!WholeNumber(Text, v) || v < INT32_MIN || v > INT32_MAX)
        throw EConvertError("'" + Text.substr(0, 64) + "' is not a valid integer value");
    return static_cast<int>(v);
}

// Skips Count bytes without holding them; stops at the end of the data (a
// stream that does not raise there would otherwise spin through a size of
// a trillion bytes).
void Skip(TBaseStream &Stream, long long Count)
{
    std::vector<std::uint8_t> scratch(65536);
    while (Count > 0) {
        const int n = static_cast<int>(std::min<long long>(Count, scratch.size()));
        if (Stream.Read(scratch.data(), n) < n)
            return;
        Count -= n;
    }
}

// Rounded to the nearest whole number (halves to even) within 0..255; NaN
// and every value below 0 give 0.
std::uint8_t ToByte(float v)
{
    if (!(v > 0))
        return 0;
    if (v >= 255)
        return 255;
    return static_cast<std::uint8_t>(std::nearbyint(v));
}

float LittleFloat(const std::uint8_t *p)
{
    float f;
    std::memcpy(&f, p, 4);
    return f;
}

float BigFloat(const std::uint8_t *p)
{
    const std::uint8_t r[4] = {p[3], p[2], p[1], p[0]};
    return LittleFloat(r);
}

void PixelProgress(long long i, long long pixels)
{
    if ((i & 0x511) == 0)
        ReportProgress(static_cast<int>(i * 100 / pixels));
}

// The plane to load, counted from 1: asked only while a progress callback
// is assigned and a dialog is installed.
int ChoosePlane(int Planes)
{
    if (Planes <= 1 || !ProgressUpdate || !InputQuery)
        return 1;
    std::string answer = "1";
    if (!InputQuery("Select plane", "Select plane to load (1-" + std::to_string(Planes) + ")", answer))
        throw EAbort();
    const int p = StrToInt(answer);
    if (p < 1 || p > Planes)
        throw ELinearBitmap("Select plane to load (1-" + std::to_string(Planes) + ")");
    return p;
}

struct THeader {
    int Width = 0, Height = 0, Planes = 1;
    TKind Kind = TKind::Bytes;
};

THeader ReadHeader(TTextStream &ts)
{
    std::string line, rows;
    long long v = 0;
    ts.ReadLine(line);
    ts.ReadLine(line);
    // The frame count: the first whole number below 500 (names may be numbers).
    for (int i = 0; i < 201; ++i) {
        ts.ReadLine(line);
        if (WholeNumber(line, v) && v < 500)
            break;
    }
    ts.ReadLine(line); // date
    THeader h;
    ts.ReadLine(rows);
    h.Height = StrToInt(rows);
    ts.ReadLine(line);
    h.Width = StrToInt(line);
    ts.ReadLine(line);
    if (line != rows) {
        if (Trim(line) != "8")
            throw ELinearBitmap("Unsupported bitmap format");
        for (int i = 0; i < 4; ++i)
            ts.ReadLine(line);
        return h;
    }
    for (int i = 0; i < 4; ++i)
        ts.ReadLine(line);
    const std::string format = Trim(line);
    if (format == "0")
        h.Kind = TKind::Bytes;
    else if (format == "3")
        h.Kind = TKind::Floats;
    else if (format == "35")
        h.Kind = TKind::RGB;
    else if (format == "37")
        h.Kind = TKind::Floats3;
    else
        throw ELinearBitmap("Unsupported bitmap format");
    ts.ReadLine(line);
    if (WholeNumber(line, v) && v >= 1 && v <= 500)
        h.Planes = static_cast<int>(v);
    for (int i = 0; i < 2; ++i) { // history, then description
        ts.ReadLine(line);
        if (WholeNumber(line, v) && v >= 1)
            Skip(ts, v);
    }
    ts.ReadLine(line);
    if (WholeNumber(line, v) && v >= 1)
        for (long long i = 0; i < v; ++i)
            ts.ReadLine(line);
    ts.ReadLine(line); // not used
    return h;
}

// Pixel data is read in pieces of at most this many pixels: a row of a
// picture 2^28 pixels wide holds 3 GB of floats, past any 32-bit count.
constexpr std::int64_t kPiecePixels = 65536;

// Reads Pixels pixels of Bytes bytes each, piece by piece, and hands each
// piece to Put(first pixel, data, count). The bitmap is made (Make) only once
// the first piece has arrived, so that a header of a few bytes cannot make
// the loader allocate hundreds of megabytes for pixels it does not have.
template <typename M, typename F>
void ReadRun(TBaseStream &s, std::int64_t Pixels, int Bytes, M &&Make, F &&Put)
{
    std::vector<std::uint8_t> piece(std::size_t(std::min(Pixels, kPiecePixels)) * Bytes);
    for (std::int64_t done = 0; done < Pixels;) {
        const int n = static_cast<int>(std::min(Pixels - done, kPiecePixels));
        s.Read(piece.data(), n * Bytes);
        if (done == 0)
            Make();
        Put(done, piece.data(), n);
        done += n;
    }
}

void ReadPixels(TTextStream &ts, const THeader &h, TLinearBitmap &Bitmap)
{
    const std::int64_t pixels = std::int64_t(h.Width) * h.Height;
    // Refused before any buffer is sized from the header or anything asked.
    if (h.Width <= 0 || h.Height <= 0 || pixels > kMaxBitmapPixels)
        throw ELinearBitmap("Invalid bitmap size");
    std::uint8_t *out = nullptr; // the new bitmap's pixels, once made
    auto make = [&](TPixelFormat pf) {
        return [&, pf] {
            if (out)
                return;
            Bitmap.New(h.Width, h.Height, pf);
            if (pf == pf8bit)
                std::memcpy(Bitmap.Palette.get(), GreyPalette.data(), 768);
            out = Bitmap.Map.get();
        };
    };
    switch (h.Kind) {
    case TKind::Bytes: {
        const int plane = ChoosePlane(h.Planes);
        Skip(ts, (plane - 1) * pixels);
        ReadRun(ts, pixels, 1, make(pf8bit),
                [&](std::int64_t at, const std::uint8_t *in, int n) { std::memcpy(out + at, in, std::size_t(n)); });
        return;
    }
    case TKind::RGB:
        ReadRun(ts, pixels, 3, make(pf24bit), [&](std::int64_t at, const std::uint8_t *in, int n) {
            for (std::uint8_t *p = out + 3 * at; n-- > 0; in += 3, p += 3) {
                p[2] = in[0], p[1] = in[1], p[0] = in[2];
                PixelProgress(++at, pixels);
            }
        });
        return;
    case TKind::Floats3:
        ReadRun(ts, pixels, 12, make(pf24bit), [&](std::int64_t at, const std::uint8_t *in, int n) {
            for (std::uint8_t *p = out + 3 * at; n-- > 0; in += 12, p += 3) {
                for (int k = 0; k < 3; ++k)
                    p[k] = ToByte(LittleFloat(in + 4 * k));
                PixelProgress(++at, pixels);
            }
        });
        return;
    case TKind::Floats:
        break;
    }
    if (h.Planes == 1) {
        // One plane of floats is stored with the most significant byte first.
        ReadRun(ts, pixels, 4, make(pf8bit), [&](std::int64_t at, const std::uint8_t *in, int n) {
            for (std::uint8_t *p = out + at; n-- > 0; in += 4) {
                *p++ = ToByte(BigFloat(in));
                PixelProgress(++at, pixels);
            }
        });
        return;
    }
    // Planes of floats, least significant byte first: red, green, then blue
    // (with two planes blue stays 0, as the new bitmap is zeroed).
    const int used = std::min(h.Planes, 3);
    for (int k = 0; k < used; ++k) {
        ReadRun(ts, pixels, 4, make(pf24bit), [&](std::int64_t at, const std::uint8_t *in, int n) {
            for (std::uint8_t *p = out + 3 * at + (2 - k); n-- > 0; in += 4, p += 3)
                *p = ToByte(LittleFloat(in));
        });
        if (k + 1 < used)
            ReportProgress((k + 1) * 100 / h.Planes);
    }
    ReportProgress(100);
}

TLoaderSlot<THIPSLoader> &Slot()
{
    static TLoaderSlot<THIPSLoader> slot;
    return slot;
}

} // namespace

bool THIPSLoader::CanLoad(const std::string &Ext) { return Ext == "HIP" || Ext == "HIPS"; }
bool THIPSLoader::CanSave(const std::string &) { return false; }
void THIPSLoader::GetLoadFilter(std::string &Filter) { Filter = std::string(HIPSDescription) + " (*.hips)|*.hips;*.hip"; }
void THIPSLoader::GetSaveFilter(std::string &Filter) { Filter.clear(); }

void THIPSLoader::LoadFromStream(TBaseStream &Stream, const std::string &, TLinearBitmap &Bitmap)
{
    TTextStream ts(-1, 0, &Stream);
    // Header lines end with a line feed; carriage returns stay in the text.
    ts.LineEnd = ts.LineEndPartner = 10;
    const THeader h = ReadHeader(ts);
    ts.SetNoDataExcept(true);
    ReadPixels(ts, h, Bitmap);
}

void THIPSGraphic::LoadFromStream(QIODevice &Stream)
{
    THostFilterStream adapter(Stream);
    Image.LoadFromStream(adapter, "HIP");
}

void RegisterHIPSLoader()
{
    if (Slot().Register()) {
        platform::RegisterFileFormat<THIPSGraphic>("HIP", HIPSDescription);
        platform::RegisterFileFormat<THIPSGraphic>("HIPS", HIPSDescription);
    }
}

void UnregisterHIPSLoader()
{
    if (Slot().Unregister())
        platform::UnregisterGraphicClass("THIPSGraphic");
}

} // namespace imaging

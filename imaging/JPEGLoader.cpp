// The JPEG loader over libjpeg.
//
// libjpeg reports a fatal error by calling error_exit, which must not return.
// Ours longjmps back to the one setjmp of RunStep. RunStep's frame and the
// steps it runs hold nothing with a destructor, the frames in between are
// libjpeg's C frames or our callbacks, which catch their own exceptions
// before they jump; so no jump skips a destructor. The exception is raised
// afterwards, in ordinary C++ frames, and the codec is freed by its owner's
// destructor on every path.
#include "imaging/JPEGLoader.h"

#include "imaging/LibraryTrace.h"

#include <algorithm>
#include <bitset>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace imaging {

const char *const JPEGDescription = "Joint Picture Expert Group";

namespace {

constexpr int kDefaultQuality = 90;
constexpr int kStreamBufferSize = 65536;
// libjpeg's buffers (the coefficients of a progressive file above all) may
// use at most this much; a larger need raises "Backing store not supported".
constexpr long kMaxCodecMemory = 1L << 30;

// Our own message, after libjpeg's: the scan cap.
constexpr int kTooManyScans = 1000;
// Message codes whose warnings are traced (libjpeg's are all below).
constexpr int kTracedCodes = 256;
const char *const AddonMessages[] = {"More than %d scans"};


// ------------------------------------------------------------------ errors

struct TCodecErrors {
    jpeg_error_mgr pub{}; // first: libjpeg sees only this part
    std::jmp_buf jump;
    std::exception_ptr pending; // raised by one of our callbacks
    std::bitset<kTracedCodes> traced; // warnings already in the trace
};

TCodecErrors &ErrorsOf(j_common_ptr c)
{
    return *reinterpret_cast<TCodecErrors *>(c->err);
}

[[noreturn]] void ErrorExit(j_common_ptr c)
{
    std::longjmp(ErrorsOf(c).jump, 1);
}

// Level -1 is a warning about damaged data (entropy data that breaks or ends
// early, stray bytes between markers): libjpeg goes on with the damaged area
// filled, as other programs show such files. Each kind goes to the library
// trace once per picture; libjpeg's trace messages (levels 0 and up) are
// dropped. Runs inside libjpeg's C frames: nothing may be thrown out of it.
void EmitMessage(j_common_ptr c, int level)
{
    if (level >= 0)
        return;
    ++c->err->num_warnings;
    const int code = c->err->msg_code;
    TCodecErrors &e = ErrorsOf(c);
    if (code < 0 || code >= kTracedCodes || e.traced.test(static_cast<std::size_t>(code)))
        return;
    e.traced.set(static_cast<std::size_t>(code));
    try {
        char text[JMSG_LENGTH_MAX] = {};
        (*c->err->format_message)(c, text);
        TraceLine("JPEG warning #" + std::to_string(code) + ": " + text);
    } catch (...) {
        // A trace line must never break a load.
    }
}

// Called by our callbacks after they caught an exception (outside the catch
// block, so that nothing is left to destroy when the jump leaves the frame).
[[noreturn]] void RaisePending(j_common_ptr c)
{
    ErrorExit(c);
}

void InitErrors(TCodecErrors &e, jpeg_common_struct &c)
{
    c.err = jpeg_std_error(&e.pub);
    e.pub.error_exit = ErrorExit;
    e.pub.emit_message = EmitMessage;
    e.pub.addon_message_table = AddonMessages;
    e.pub.first_addon_message = kTooManyScans;
    e.pub.last_addon_message = kTooManyScans;
}

// Runs one step of libjpeg calls. Returns false when libjpeg gave up; the
// jump lands here. Never inlined: the frame of the setjmp is this one alone.
template <typename Step>
__attribute__((noinline)) bool RunStep(TCodecErrors &e, const Step &step)
{
    if (setjmp(e.jump))
        return false;
    step();
    return true;
}

[[noreturn]] void RaiseCodecError(j_common_ptr c)
{
    TCodecErrors &e = ErrorsOf(c);
    if (e.pending)
        std::rethrow_exception(std::exchange(e.pending, nullptr));
    char text[JMSG_LENGTH_MAX] = {};
    (*c->err->format_message)(c, text);
    throw EJPEG("JPEG error #" + std::to_string(c->err->msg_code) + ": " + text);
}

// ------------------------------------------------------------ decoding

// The source manager reads the library stream in blocks.
struct TStreamSource {
    jpeg_source_mgr pub{};
    TBaseStream *Stream = nullptr;
    std::unique_ptr<JOCTET[]> Buffer;
    bool StartOfFile = true;
};

TStreamSource &SourceOf(j_decompress_ptr d)
{
    return *reinterpret_cast<TStreamSource *>(d->src);
}

void InitSource(j_decompress_ptr d)
{
    SourceOf(d).StartOfFile = true;
}

boolean FillInputBuffer(j_decompress_ptr d)
{
    TStreamSource &src = SourceOf(d);
    int n = 0;
    try {
        n = src.Stream->Read(src.Buffer.get(), kStreamBufferSize);
    } catch (...) {
        ErrorsOf(reinterpret_cast<j_common_ptr>(d)).pending = std::current_exception();
    }
    if (ErrorsOf(reinterpret_cast<j_common_ptr>(d)).pending)
        RaisePending(reinterpret_cast<j_common_ptr>(d));
    if (n <= 0) {
        if (src.StartOfFile)
            ERREXIT(d, JERR_INPUT_EMPTY);
        WARNMS(d, JWRN_JPEG_EOF);
        // A fake end marker, as libjpeg's own managers do.
        src.Buffer[0] = 0xFF;
        src.Buffer[1] = JPEG_EOI;
        n = 2;
    }
    src.pub.next_input_byte = src.Buffer.get();
    src.pub.bytes_in_buffer = static_cast<std::size_t>(n);
    src.StartOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr d, long count)
{
    if (count <= 0)
        return;
    jpeg_source_mgr &src = *d->src;
    while (count > static_cast<long>(src.bytes_in_buffer)) {
        count -= static_cast<long>(src.bytes_in_buffer);
        FillInputBuffer(d);
    }
    src.next_input_byte += count;
    src.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void TermSource(j_decompress_ptr) {}

// Ends a progressive file of too many scans.
void ScanMonitor(j_common_ptr c)
{
    if (c->is_decompressor && reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > kMaxJPEGScans)
        ERREXIT1(c, kTooManyScans, kMaxJPEGScans);
}

class TDecoder {
public:
    explicit TDecoder(TBaseStream &Stream)
    {
        InitErrors(errors_, *reinterpret_cast<j_common_ptr>(&info_));
        Run([this] { jpeg_create_decompress(&info_); });
        info_.mem->max_memory_to_use = kMaxCodecMemory;
        source_.Stream = &Stream;
        source_.Buffer = std::make_unique<JOCTET[]>(kStreamBufferSize);
        source_.pub.init_source = InitSource;
        source_.pub.fill_input_buffer = FillInputBuffer;
        source_.pub.skip_input_data = SkipInputData;
        source_.pub.resync_to_restart = jpeg_resync_to_restart;
        source_.pub.term_source = TermSource;
        info_.src = &source_.pub;
        progress_.progress_monitor = ScanMonitor;
        info_.progress = &progress_;
    }
    TDecoder(const TDecoder &) = delete;
    TDecoder &operator=(const TDecoder &) = delete;

    jpeg_decompress_struct &Info() { return info_; }
    std::size_t Unread() const { return source_.pub.bytes_in_buffer; }

    template <typename Step>
    void Run(const Step &step)
    {
        if (!RunStep(errors_, step))
            RaiseCodecError(reinterpret_cast<j_common_ptr>(&info_));
    }

private:
    // Freed on every path, also when the constructor raises (a zeroed
    // struct is a valid argument of jpeg_destroy).
    struct TInfo : jpeg_decompress_struct {
        TInfo() : jpeg_decompress_struct{} {}
        ~TInfo() { jpeg_destroy_decompress(this); }
    };
    TCodecErrors errors_;
    TInfo info_;
    TStreamSource source_;
    jpeg_progress_mgr progress_{};
};

// libjpeg's size of a side at scale 1/denom: rounded up.
std::int64_t Scaled(std::int64_t side, int denom)
{
    return (side + denom - 1) / denom;
}

// ------------------------------------------------------------ encoding

// Destination into a growing memory block, kept from one trial to the next.
struct TMemoryDest {
    jpeg_destination_mgr pub{};
    std::unique_ptr<JOCTET[]> Buffer;
    std::size_t Capacity = 0;
    std::size_t Length = 0; // of the last complete encoding
};

TMemoryDest &MemoryDestOf(j_compress_ptr c)
{
    return *reinterpret_cast<TMemoryDest *>(c->dest);
}

void InitMemoryDest(j_compress_ptr c)
{
    TMemoryDest &m = MemoryDestOf(c);
    if (!m.Buffer) {
        m.Capacity = kStreamBufferSize;
        m.Buffer = std::make_unique_for_overwrite<JOCTET[]>(m.Capacity);
    }
    m.pub.next_output_byte = m.Buffer.get();
    m.pub.free_in_buffer = m.Capacity;
    m.Length = 0;
}

boolean GrowMemoryDest(j_compress_ptr c)
{
    TMemoryDest &m = MemoryDestOf(c);
    const std::size_t used = m.Capacity;
    try {
        auto bigger = std::make_unique_for_overwrite<JOCTET[]>(2 * used);
        std::memcpy(bigger.get(), m.Buffer.get(), used);
        m.Buffer = std::move(bigger);
        m.Capacity = 2 * used;
    } catch (...) {
        ErrorsOf(reinterpret_cast<j_common_ptr>(c)).pending = std::current_exception();
    }
    if (ErrorsOf(reinterpret_cast<j_common_ptr>(c)).pending)
        RaisePending(reinterpret_cast<j_common_ptr>(c));
    m.pub.next_output_byte = m.Buffer.get() + used;
    m.pub.free_in_buffer = m.Capacity - used;
    return TRUE;
}

void TermMemoryDest(j_compress_ptr c)
{
    TMemoryDest &m = MemoryDestOf(c);
    m.Length = m.Capacity - m.pub.free_in_buffer;
}

// Destination straight into the library stream, in blocks.
struct TStreamDest {
    jpeg_destination_mgr pub{};
    TBaseStream *Stream = nullptr;
    std::unique_ptr<JOCTET[]> Buffer;
};

TStreamDest &StreamDestOf(j_compress_ptr c)
{
    return *reinterpret_cast<TStreamDest *>(c->dest);
}

void InitStreamDest(j_compress_ptr c)
{
    TStreamDest &s = StreamDestOf(c);
    s.pub.next_output_byte = s.Buffer.get();
    s.pub.free_in_buffer = kStreamBufferSize;
}

void WriteOut(j_compress_ptr c, std::size_t count)
{
    TStreamDest &s = StreamDestOf(c);
    try {
        const int n = static_cast<int>(count);
        if (n > 0 && s.Stream->Write(s.Buffer.get(), n) != n)
            throw EStreamError(kReadLessThanExpected);
    } catch (...) {
        ErrorsOf(reinterpret_cast<j_common_ptr>(c)).pending = std::current_exception();
    }
    if (ErrorsOf(reinterpret_cast<j_common_ptr>(c)).pending)
        RaisePending(reinterpret_cast<j_common_ptr>(c));
    s.pub.next_output_byte = s.Buffer.get();
    s.pub.free_in_buffer = kStreamBufferSize;
}

boolean EmptyStreamDest(j_compress_ptr c)
{
    WriteOut(c, kStreamBufferSize);
    return TRUE;
}

void TermStreamDest(j_compress_ptr c)
{
    WriteOut(c, kStreamBufferSize - StreamDestOf(c).pub.free_in_buffer);
}

class TEncoder {
public:
    explicit TEncoder(const TLinearBitmap &Bitmap) : bitmap_(Bitmap)
    {
        InitErrors(errors_, *reinterpret_cast<j_common_ptr>(&info_));
        Run([this] { jpeg_create_compress(&info_); });
        grey_ = Bitmap.IsGreyscale();
        if (!Bitmap.Present || !Bitmap.Map)
            return; // libjpeg refuses the empty picture
        const int w = Bitmap.Width;
        switch (Bitmap.PixelFormat) {
        case pf24bit:
        case pf32bit:
            // Fed straight from the bitmap's rows.
            space_ = Bitmap.PixelFormat == pf24bit ? JCS_EXT_BGR : JCS_EXT_BGRX;
            components_ = Bitmap.PixelSize;
            rows_.resize(static_cast<std::size_t>(Bitmap.Height));
            for (int y = 0; y < Bitmap.Height; ++y)
                rows_[static_cast<std::size_t>(y)] = Bitmap.ScanLine(y);
            break;
        case pf8bit:
            // The grey ramp maps an index to its own value; any other palette
            // gives 24-bit colour.
            space_ = grey_ ? JCS_GRAYSCALE : JCS_EXT_BGR;
            components_ = grey_ ? 1 : 3;
            if (grey_) {
                rows_.resize(static_cast<std::size_t>(Bitmap.Height));
                for (int y = 0; y < Bitmap.Height; ++y)
                    rows_[static_cast<std::size_t>(y)] = Bitmap.ScanLine(y);
            } else {
                row_.resize(static_cast<std::size_t>(w) * 3);
            }
            break;
        case pf16bit: // grey: the high byte of each sample
            space_ = JCS_GRAYSCALE;
            components_ = 1;
            row_.resize(static_cast<std::size_t>(w));
            break;
        default:
            throw ELinearBitmap("Unsupported pixel format");
        }
        width_ = static_cast<JDIMENSION>(w);
        height_ = static_cast<JDIMENSION>(Bitmap.Height);
    }
    TEncoder(const TEncoder &) = delete;
    TEncoder &operator=(const TEncoder &) = delete;

    // One whole encoding at Quality (1..100) into `dest`.
    void Encode(jpeg_destination_mgr &dest, int Quality)
    {
        info_.dest = &dest;
        info_.image_width = width_;
        info_.image_height = height_;
        info_.input_components = components_;
        info_.in_color_space = space_;
        Run([this, Quality] {
            jpeg_set_defaults(&info_);
            jpeg_set_quality(&info_, Quality, TRUE);
            if (grey_)
                jpeg_set_colorspace(&info_, JCS_GRAYSCALE);
            jpeg_start_compress(&info_, TRUE);
        });
        if (!rows_.empty()) {
            Run([this] {
                while (info_.next_scanline < info_.image_height)
                    jpeg_write_scanlines(&info_, rows_.data() + info_.next_scanline,
                                         info_.image_height - info_.next_scanline);
            });
        } else {
            for (JDIMENSION y = 0; y < height_; ++y) {
                ConvertRow(static_cast<int>(y));
                Run([this] {
                    JSAMPROW row = row_.data();
                    jpeg_write_scanlines(&info_, &row, 1);
                });
            }
        }
        Run([this] { jpeg_finish_compress(&info_); });
    }

private:
    void ConvertRow(int y)
    {
        const std::uint8_t *s = bitmap_.ScanLine(y);
        JSAMPLE *d = row_.data();
        if (bitmap_.PixelFormat == pf16bit) {
            for (int x = 0; x < bitmap_.Width; ++x)
                d[x] = s[2 * x + 1];
            return;
        }
        const std::uint8_t *pal = bitmap_.Palette ? bitmap_.Palette.get() : GreyPalette.data();
        for (int x = 0; x < bitmap_.Width; ++x)
            std::memcpy(d + 3 * x, pal + 3 * s[x], 3);
    }

    template <typename Step>
    void Run(const Step &step)
    {
        if (!RunStep(errors_, step))
            RaiseCodecError(reinterpret_cast<j_common_ptr>(&info_));
    }

    struct TInfo : jpeg_compress_struct {
        TInfo() : jpeg_compress_struct{} {}
        ~TInfo() { jpeg_destroy_compress(this); }
    };
    const TLinearBitmap &bitmap_;
    TCodecErrors errors_;
    TInfo info_;
    bool grey_ = false;
    J_COLOR_SPACE space_ = JCS_RGB;
    int components_ = 3;
    JDIMENSION width_ = 0, height_ = 0;
    std::vector<JSAMPROW> rows_; // the bitmap's own rows, when fed directly
    std::vector<JSAMPLE> row_;   // one converted row otherwise
};

} // namespace

// ------------------------------------------------------------ the loader

bool TJPEGLoader::CanLoad(const std::string &Ext)
{
    const std::string e = UpperCase(Ext);
    return e == "JPG" || e == "JPEG" || e == "JPE";
}

bool TJPEGLoader::CanSave(const std::string &Ext)
{
    const std::string e = UpperCase(Ext);
    return e == "JPG" || e == "JPEG";
}

void TJPEGLoader::GetLoadFilter(std::string &Filter)
{
    Filter = std::string(JPEGDescription) + " (*.jpg,*.jpeg,*.jpe)|*.jpg;*.jpeg;*.jpe";
}

void TJPEGLoader::GetSaveFilter(std::string &Filter)
{
    Filter = std::string(JPEGDescription) + " (*.jpg)|*.jpg";
}

void TJPEGLoader::LoadFromStream(TBaseStream &Stream, const std::string &, TLinearBitmap &Bitmap)
{
    TNoDataExceptOff partialReads(Stream); // the decoder asks for blocks
    TDecoder decoder(Stream);
    jpeg_decompress_struct &d = decoder.Info();
    decoder.Run([&d] { jpeg_read_header(&d, TRUE); });

    const std::int64_t w = d.image_width, h = d.image_height;
    FullSize = {static_cast<int>(w), static_cast<int>(h)};
    // Before libjpeg allocates anything for the picture.
    if (w * h > kMaxBitmapPixels)
        throw ELinearBitmap("Invalid bitmap size");
    if (d.jpeg_color_space == JCS_CMYK || d.jpeg_color_space == JCS_YCCK)
        decoder.Run([&d] { ERREXIT(&d, JERR_CONVERSION_NOTIMPL); });
    const bool grey = d.jpeg_color_space == JCS_GRAYSCALE;

    // The strongest reduction (at most 1/8) that keeps both sides at or
    // above the minimums.
    int denom = 1;
    while (denom < 8 && Scaled(w, denom) / 2 >= MinWidth && Scaled(h, denom) / 2 >= MinHeight)
        denom *= 2;
    d.scale_num = 1;
    d.scale_denom = static_cast<unsigned>(denom);
    d.dct_method = JDCT_ISLOW; // best quality rather than speed
    d.do_fancy_upsampling = TRUE;
    d.out_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    decoder.Run([&d] { jpeg_calc_output_dimensions(&d); });

    // Straight into the bitmap's rows.
    Bitmap.New(static_cast<int>(d.output_width), static_cast<int>(d.output_height), grey ? pf8bit : pf24bit);
    if (grey)
        std::memcpy(Bitmap.Palette.get(), GreyPalette.data(), 768);
    std::vector<JSAMPROW> rows(static_cast<std::size_t>(Bitmap.Height));
    for (int y = 0; y < Bitmap.Height; ++y)
        rows[static_cast<std::size_t>(y)] = Bitmap.ScanLine(y);
    decoder.Run([&d, &rows] {
        jpeg_start_decompress(&d);
        while (d.output_scanline < d.output_height)
            jpeg_read_scanlines(&d, rows.data() + d.output_scanline, d.output_height - d.output_scanline);
        jpeg_finish_decompress(&d);
    });
    // What the decoder read beyond the end of the picture goes back.
    if (auto *seekable = dynamic_cast<TSeekableStream *>(&Stream); seekable && decoder.Unread() > 0)
        seekable->Seek(seekable->Position() - static_cast<int>(decoder.Unread()));
}

void TJPEGLoader::SaveToStream(TBaseStream &Stream, const std::string &, const TLinearBitmap &Bitmap)
{
    TEncoder encoder(Bitmap);
    if (TargetSize <= 0) {
        TStreamDest dest;
        dest.Stream = &Stream;
        dest.Buffer = std::make_unique_for_overwrite<JOCTET[]>(kStreamBufferSize);
        dest.pub.init_destination = InitStreamDest;
        dest.pub.empty_output_buffer = EmptyStreamDest;
        dest.pub.term_destination = TermStreamDest;
        encoder.Encode(dest.pub, Quality < 1 ? kDefaultQuality : std::min(Quality, 100));
        return;
    }
    if (Quality < 1)
        Quality = kDefaultQuality;
    TMemoryDest dest;
    dest.pub.init_destination = InitMemoryDest;
    dest.pub.empty_output_buffer = GrowMemoryDest;
    dest.pub.term_destination = TermMemoryDest;
    SearchJPEGQuality(std::min(Quality, 100), TargetSize, [&](int q) {
        encoder.Encode(dest.pub, q);
        return static_cast<int>(std::min<std::size_t>(dest.Length, INT_MAX));
    });
    const int n = static_cast<int>(dest.Length);
    if (Stream.Write(dest.Buffer.get(), n) != n)
        throw EStreamError(kReadLessThanExpected);
}

int SearchJPEGQuality(int Quality, int TargetSize, const std::function<int(int)> &Encode)
{
    int q = Quality, high = Quality + 1, low = 1, trials = 0;
    for (;;) {
        const int size = Encode(q);
        ++trials;
        if (size > TargetSize) {
            high = q;
            if (q <= 1)
                break;
        } else {
            if (size == TargetSize)
                break;
            low = q;
            if (q >= 100 || low + 1 == high)
                break;
        }
        if (high <= low) // only an encoder that changes its mind gets here
            break;
        q = (high + low) / 2;
    }
    return trials;
}

// ------------------------------------------------------------ registration

namespace {
TLoaderSlot<TJPEGLoader> &Slot()
{
    static TLoaderSlot<TJPEGLoader> slot;
    return slot;
}
} // namespace

TJPEGLoader *JPEGLoader() { return Slot().Get(); }

void RegisterJPEGLoader()
{
    Slot().Register();
}

void UnregisterJPEGLoader()
{
    Slot().Unregister();
}

} // namespace imaging

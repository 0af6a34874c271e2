#include "gif/GIFExtensions.h"

#include "gif/GIFImage.h"
#include "gif/GIFSubImage.h"

#include <QIODevice>

#include <cstring>

namespace gif {

// ------------------------------------------------------------- TGIFExtension

TGIFExtension::TGIFExtension(TGIFSubImage *SubImage)
    : TGIFItem(SubImage ? SubImage->Image() : nullptr), FSubImage(SubImage)
{
}

void TGIFExtension::SaveToStream(QIODevice &Stream)
{
    PutByte(Stream, bsExtensionIntroducer);
    PutByte(Stream, GetExtensionType());
}

void TGIFExtension::LoadFromStream(QIODevice &Stream)
{
    std::uint8_t b[2];
    ReadCheck(Stream, b, 2);
    if (b[0] != bsExtensionIntroducer)
        Error("Invalid extension introducer");
    if (b[1] != GetExtensionType())
        Error("Internal error: Extension Instance does not match Extension Label");
}

// ----------------------------------------------- TGIFGraphicControlExtension

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage *SubImage) : TGIFExtension(SubImage)
{
    if (FSubImage && !FSubImage->FGCE)
        FSubImage->FGCE = this;
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension()
{
    if (FSubImage && FSubImage->FGCE == this) {
        FSubImage->FGCE = nullptr;
        FSubImage->FreeBitmap();
        FSubImage->FreeMask();
    }
}

void TGIFGraphicControlExtension::SetTransparent(bool Value)
{
    PackedFields = std::uint8_t(Value ? PackedFields | 1 : PackedFields & ~1);
    if (FSubImage && FSubImage->FGCE == this) {
        FSubImage->FreeBitmap();
        FSubImage->FreeMask();
    }
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(int Value)
{
    if (FSubImage) {
        const auto &map = FSubImage->ActiveColorMap();
        if (map.Count() > 0 && Value >= map.Count()) {
            Warning(1, "Invalid color index");
            Value = 0;
        }
    }
    FTransparentColorIndex = std::uint8_t(Value);
}

void TGIFGraphicControlExtension::SaveToStream(QIODevice &Stream)
{
    TGIFExtension::SaveToStream(Stream);
    const std::uint8_t b[6] = {BlockSize,     PackedFields, std::uint8_t(FDelay), std::uint8_t(FDelay >> 8),
                               FTransparentColorIndex, Terminator};
    WriteCheck(Stream, b, 6);
}

void TGIFGraphicControlExtension::LoadFromStream(QIODevice &Stream)
{
    TGIFExtension::LoadFromStream(Stream);
    std::uint8_t b[6] = {};
    if (Stream.read(reinterpret_cast<char *>(b), 6) < 6) {
        Warning(1, "Premature end of data");
        return;
    }
    BlockSize = b[0];
    PackedFields = b[1];
    FDelay = std::uint16_t(b[2] | b[3] << 8);
    FTransparentColorIndex = b[4];
    Terminator = b[5];
}

// --------------------------------------------------------- TGIFTextExtension

void TGIFTextExtension::SaveToStream(QIODevice &Stream)
{
    TGIFExtension::SaveToStream(Stream);
    const std::uint8_t b[13] = {BlockSize,
                                std::uint8_t(Left),
                                std::uint8_t(Left >> 8),
                                std::uint8_t(Top),
                                std::uint8_t(Top >> 8),
                                std::uint8_t(Width),
                                std::uint8_t(Width >> 8),
                                std::uint8_t(Height),
                                std::uint8_t(Height >> 8),
                                CellWidth,
                                CellHeight,
                                TextForegroundColorIndex,
                                TextBackgroundColorIndex};
    WriteCheck(Stream, b, 13);
    WriteSubBlockStrings(Stream, Text);
}

void TGIFTextExtension::LoadFromStream(QIODevice &Stream)
{
    TGIFExtension::LoadFromStream(Stream);
    std::uint8_t b[13];
    ReadCheck(Stream, b, 13);
    BlockSize = b[0];
    Left = std::uint16_t(b[1] | b[2] << 8);
    Top = std::uint16_t(b[3] | b[4] << 8);
    Width = std::uint16_t(b[5] | b[6] << 8);
    Height = std::uint16_t(b[7] | b[8] << 8);
    CellWidth = b[9];
    CellHeight = b[10];
    TextForegroundColorIndex = b[11];
    TextBackgroundColorIndex = b[12];
    ReadSubBlockStrings(Stream, Text);
}

// ------------------------------------------------------ TGIFCommentExtension

void TGIFCommentExtension::SaveToStream(QIODevice &Stream)
{
    TGIFExtension::SaveToStream(Stream);
    WriteSubBlockStrings(Stream, Comment);
}

void TGIFCommentExtension::LoadFromStream(QIODevice &Stream)
{
    TGIFExtension::LoadFromStream(Stream);
    ReadSubBlockStrings(Stream, Comment);
}

// -------------------------------------------------- TGIFApplicationExtension

void TGIFApplicationExtension::SaveToStream(QIODevice &Stream)
{
    TGIFExtension::SaveToStream(Stream);
    PutByte(Stream, 11);
    WriteCheck(Stream, Identifier.data(), 11);
    SaveData(Stream);
}

void TGIFApplicationExtension::LoadFromStream(QIODevice &Stream)
{
    TGIFExtension::LoadFromStream(Stream);
    const int n = GetByte(Stream);
    if (n < 0)
        Error("Premature end of data");
    Identifier.fill(0);
    if (n == 10) {
        ReadCheck(Stream, Identifier.data(), 10);
    } else if (n < 10) {
        Error("Unsupported Application Extension block size");
    } else {
        ReadCheck(Stream, Identifier.data(), 11);
        if (n > 11 && Stream.skip(n - 11) != n - 11)
            Error("Premature end of data");
    }
    LoadData(Stream);
}

void TGIFBlock::SaveToStream(QIODevice &Stream) const
{
    PutByte(Stream, std::uint8_t(Data.size()));
    WriteCheck(Stream, Data.data(), std::int64_t(Data.size()));
}

void TGIFUnknownAppExtension::SaveData(QIODevice &Stream)
{
    for (const auto &block : Blocks)
        block.SaveToStream(Stream);
    PutByte(Stream, 0);
}

void TGIFUnknownAppExtension::LoadData(QIODevice &Stream)
{
    Blocks.clear();
    for (int n = GetByte(Stream); n > 0; n = GetByte(Stream)) {
        TGIFBlock block;
        block.Data.resize(std::size_t(n));
        ReadCheck(Stream, block.Data.data(), n);
        Blocks.push_back(std::move(block));
    }
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage *SubImage) : TGIFApplicationExtension(SubImage)
{
    std::memcpy(Identifier.data(), "NETSCAPE2.0", 11);
}

void TGIFAppExtNSLoop::SaveData(QIODevice &Stream)
{
    const std::uint8_t loop[4] = {3, 1, std::uint8_t(Loops), std::uint8_t(Loops >> 8)};
    WriteCheck(Stream, loop, 4);
    if (BufferSize != 0) {
        const std::uint8_t buf[6] = {5,
                                     2,
                                     std::uint8_t(BufferSize),
                                     std::uint8_t(BufferSize >> 8),
                                     std::uint8_t(BufferSize >> 16),
                                     std::uint8_t(BufferSize >> 24)};
        WriteCheck(Stream, buf, 6);
    }
    PutByte(Stream, 0);
}

void TGIFAppExtNSLoop::LoadData(QIODevice &Stream)
{
    // The end of the stream ends the sub-blocks as a 0 length would.
    for (int n = GetByte(Stream); n > 0; n = GetByte(Stream)) {
        const int id = GetByte(Stream);
        if (id < 0)
            return;
        --n;
        if ((id & 7) == 1) {
            if (n < 2)
                Error("Invalid GIF data");
            std::uint8_t b[2];
            ReadCheck(Stream, b, 2);
            Loops = std::uint16_t(b[0] | b[1] << 8);
            n -= 2;
        } else if ((id & 7) == 2) {
            if (n < 4)
                Error("Invalid GIF data");
            std::uint8_t b[4];
            ReadCheck(Stream, b, 4);
            BufferSize = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
                         std::uint32_t(b[3]) << 24;
            n -= 4;
        }
        if (n > 0 && Stream.skip(n) != n)
            return;
    }
}

// ------------------------------------------------------------ class lookup

std::unique_ptr<TGIFExtension> CreateExtension(QIODevice &Stream, TGIFSubImage *SubImage)
{
    const auto start = Stream.pos();
    std::unique_ptr<TGIFExtension> ext;
    switch (GetByte(Stream)) {
    case bsPlainTextExtension:
        ext = std::make_unique<TGIFTextExtension>(SubImage);
        break;
    case bsGraphicControlExtension:
        ext = std::make_unique<TGIFGraphicControlExtension>(SubImage);
        break;
    case bsCommentExtension:
        ext = std::make_unique<TGIFCommentExtension>(SubImage);
        break;
    case bsApplicationExtension: {
        // The registered identifiers get their own class; every other block
        // size and identifier is kept as raw blocks.
        char id[11];
        if (GetByte(Stream) == 11 && Stream.read(id, 11) == 11 &&
            (std::memcmp(id, "NETSCAPE2.0", 11) == 0 || std::memcmp(id, "ANIMEXTS1.0", 11) == 0))
            ext = std::make_unique<TGIFAppExtNSLoop>(SubImage);
        else
            ext = std::make_unique<TGIFUnknownAppExtension>(SubImage);
        break;
    }
    default:
        break;
    }
    Stream.seek(start);
    if (!ext)
        Error("Unknown extension type");
    return ext;
}

// --------------------------------------------------------- TGIFExtensionList

TGIFExtension *TGIFExtensionList::Extensions(int Index) const
{
    return static_cast<TGIFExtension *>(Items(Index));
}

void TGIFExtensionList::LoadFromStream(QIODevice &Stream, TGIFSubImage &Parent)
{
    int b = GetByte(Stream);
    if (b < 0)
        return;
    while (b != bsImageDescriptor && b != bsTrailer) {
        if (b != bsExtensionIntroducer) {
            Warning(1, "Invalid extension introducer");
            break;
        }
        auto ext = CreateExtension(Stream, &Parent);
        StepBack(Stream);
        ext->LoadFromStream(Stream);
        Add(std::move(ext));
        b = GetByte(Stream);
        if (b < 0)
            return;
    }
    StepBack(Stream);
}

} // namespace gif

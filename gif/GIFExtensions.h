#pragma once
// GIF extension blocks (introducer 0x21, a label, then data). Each belongs to
// the frame whose image follows it in the stream.
#include "gif/GIFStream.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gif {

inline constexpr std::uint8_t bsPlainTextExtension = 0x01;
inline constexpr std::uint8_t bsGraphicControlExtension = 0xF9;
inline constexpr std::uint8_t bsCommentExtension = 0xFE;
inline constexpr std::uint8_t bsApplicationExtension = 0xFF;

// Disposal methods of the graphic control extension.
inline constexpr int dmNone = 0, dmNoDisposal = 1, dmBackground = 2, dmPrevious = 3;

class TGIFExtension : public TGIFItem {
public:
    explicit TGIFExtension(TGIFSubImage *SubImage);
    TGIFSubImage *SubImage() const { return FSubImage; }
    int GetVersion() const override { return gv89a; }
    virtual std::uint8_t GetExtensionType() const = 0;
    // Writes 0x21 and the label.
    void SaveToStream(QIODevice &Stream) override;
    // Reads and checks 0x21 and the label.
    void LoadFromStream(QIODevice &Stream) override;

protected:
    TGIFSubImage *FSubImage;
};

class TGIFGraphicControlExtension : public TGIFExtension {
public:
    explicit TGIFGraphicControlExtension(TGIFSubImage *SubImage);
    ~TGIFGraphicControlExtension() override;
    std::uint8_t GetExtensionType() const override { return bsGraphicControlExtension; }

    // The wire bytes, as held.
    std::uint8_t BlockSize = 4, PackedFields = 0;
    std::uint16_t FDelay = 0;
    std::uint8_t FTransparentColorIndex = 0, Terminator = 0;

    bool Transparent() const { return PackedFields & 1; }
    void SetTransparent(bool Value);
    int TransparentColorIndex() const { return FTransparentColorIndex; }
    // An index outside the active colour map warns "Invalid color index" and
    // stores 0.
    void SetTransparentColorIndex(int Value);
    int Delay() const { return FDelay; }
    void SetDelay(int Value) { FDelay = std::uint16_t(Value); }
    bool UserInput() const { return PackedFields & 2; }
    int Disposal() const { return (PackedFields & 0x1C) >> 2; }
    void SetDisposal(int Value) { PackedFields = std::uint8_t((PackedFields & ~0x1C) | ((Value * 4) & 0x1C)); }
    void SaveToStream(QIODevice &Stream) override;
    void LoadFromStream(QIODevice &Stream) override;
};

class TGIFTextExtension : public TGIFExtension {
public:
    using TGIFExtension::TGIFExtension;
    std::uint8_t GetExtensionType() const override { return bsPlainTextExtension; }

    std::vector<std::string> Text;
    std::uint8_t BlockSize = 12;
    std::uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
    std::uint8_t CellWidth = 0, CellHeight = 0, TextForegroundColorIndex = 0, TextBackgroundColorIndex = 0;

    void SaveToStream(QIODevice &Stream) override;
    void LoadFromStream(QIODevice &Stream) override;
};

class TGIFCommentExtension : public TGIFExtension {
public:
    using TGIFExtension::TGIFExtension;
    std::uint8_t GetExtensionType() const override { return bsCommentExtension; }

    std::vector<std::string> Comment;

    void SaveToStream(QIODevice &Stream) override;
    void LoadFromStream(QIODevice &Stream) override;
};

// An application extension: an 11-byte identifier (8 bytes of application
// name, 3 of authentication code), then the application's data.
class TGIFApplicationExtension : public TGIFExtension {
public:
    using TGIFExtension::TGIFExtension;
    std::uint8_t GetExtensionType() const override { return bsApplicationExtension; }

    std::array<std::uint8_t, 11> Identifier{};
    std::string IdentifierText() const { return std::string(Identifier.begin(), Identifier.end()); }

    void SaveToStream(QIODevice &Stream) override;
    void LoadFromStream(QIODevice &Stream) override;

protected:
    virtual void SaveData(QIODevice &Stream) = 0;
    virtual void LoadData(QIODevice &Stream) = 0;
};

// One raw data sub-block.
struct TGIFBlock {
    std::vector<std::uint8_t> Data;
    void SaveToStream(QIODevice &Stream) const;
};

// An application extension of an unregistered identifier, kept as raw blocks.
class TGIFUnknownAppExtension : public TGIFApplicationExtension {
public:
    using TGIFApplicationExtension::TGIFApplicationExtension;
    std::vector<TGIFBlock> Blocks;

protected:
    void SaveData(QIODevice &Stream) override;
    void LoadData(QIODevice &Stream) override;
};

// The looping extension ("NETSCAPE2.0", also read as "ANIMEXTS1.0").
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
public:
    explicit TGIFAppExtNSLoop(TGIFSubImage *SubImage);
    std::uint16_t Loops = 0;
    std::uint32_t BufferSize = 0;

protected:
    void SaveData(QIODevice &Stream) override;
    void LoadData(QIODevice &Stream) override;
};

// The extensions of one frame in stream order.
class TGIFExtensionList : public TGIFList {
public:
    using TGIFList::TGIFList;
    TGIFExtension *Extensions(int Index) const;
    // Reads every extension block up to the next image separator, trailer
    // or the end of the stream.
    void LoadFromStream(QIODevice &Stream, TGIFSubImage &Parent);
};

// The extension object for the block at the stream position (just after the
// 0x21); the position is unchanged. Raises "Unknown extension type" for a
// label without a class.
std::unique_ptr<TGIFExtension> CreateExtension(QIODevice &Stream, TGIFSubImage *SubImage);

} // namespace gif

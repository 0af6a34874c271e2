// The LZW decoder through whole streams: pixels, warnings and errors.
#include "GIFTestUtil.h"

#include <gtest/gtest.h>

using namespace gif;
using namespace gif_test;

namespace {

// Codes of width w.
Codes W(int w, std::initializer_list<int> codes)
{
    Codes c;
    for (int v : codes)
        c.push_back({v, w});
    return c;
}

Codes operator+(Codes a, const Codes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(GIFDecoder, Streams)
{
    const struct {
        const char *name;
        int w, h, packed; // packed: 0x40 interlaced
        QByteArray data;
        std::vector<int> pixels;
        Strings warnings;
        std::string error;
        QByteArray gce = {};
    } cases[] = {
        {"no leading clear", 2, 2, 0, Data(2, W(3, {1, 1, 1}) + W(4, {1, 5})), {1, 1, 1, 1}, {}, ""},
        {"double clears", 2, 2, 0, Data(2, W(3, {4, 4, 1, 0, 4, 4, 1, 0, 5})), {1, 0, 1, 0}, {}, ""},
        {"early end keeps fill", 2, 2, 0, Data(2, W(3, {4, 1, 5})), {1, 0, 0, 0}, {}, ""},
        {"early end, transparent fill", 2, 2, 0, Data(2, W(3, {4, 1, 5})), {1, 3, 3, 3}, {}, "", Bytes({0x21, 0xF9, 4, 1, 0, 0, 3, 0})},
        {"code size 9 reads as 8", 2, 2, 0, Data(9, W(9, {256, 7, 7, 7, 7, 257})), {7, 7, 7, 7}, {}, ""},
        {"end right after clear", 2, 2, 0, Data(2, W(3, {4, 1, 4, 5})), {1, 0, 0, 0}, {}, ""},
        {"table string and width growth", 5, 1, 0, Data(2, W(3, {4, 1, 6, 0}) + W(4, {7, 5})), {1, 1, 1, 0, 1}, {}, ""},
        {"interlaced rows 0 4 2 1 3", 1, 5, 0x40, Data(3, W(4, {8, 1, 2, 3, 4, 5, 9})), {1, 4, 3, 5, 2}, {}, ""},
        {"one-byte sub-blocks, 9-bit codes", 2, 2, 0, Data(8, W(9, {256, 10, 20, 30, 40, 257}), 1), {10, 20, 30, 40}, {}, ""},
        {"code beyond the table", 2, 2, 0, Data(2, W(3, {4, 1, 7, 5})), {}, {}, "Circular decoder table entry"},
        {"first code beyond literals", 2, 2, 0, Data(2, W(3, {4, 6, 5})), {}, {}, "Circular decoder table entry"},
        {"under-run after terminator", 3, 3, 0, Data(2, W(3, {4, 1, 1, 1}) + W(4, {1, 1, 1, 1, 1})), {1, 1, 1, 1, 1, 1, 1, 1, 0}, {"Decoder bit buffer under-run"}, ""},
        // More codes than pixels, and more sub-blocks after the end code.
        {"trailing codes and data skipped", 1, 1, 0, Data(2, W(3, {4, 1, 1, 1}) + W(4, {1, 1, 1, 5})).chopped(1) + Bytes({2, 9, 9, 0}), {1}, {}, ""},
    };
    for (const auto &c : cases) {
        // A second frame follows: the first must leave the stream on it.
        auto r = Load(Header(8, 8) + c.gce + Descriptor(c.w, c.h, c.packed) + c.data + Frame(1, 1) + Bytes({0x3B}));
        EXPECT_EQ(r.Error, c.error) << c.name;
        EXPECT_EQ(r.Warnings, c.warnings) << c.name;
        if (c.error.empty()) {
            ASSERT_EQ(r.Image->Count(), 2) << c.name;
            const auto *f = r.Image->SubImage(0);
            EXPECT_EQ(std::vector<int>(f->Data(), f->Data() + f->DataSize()), c.pixels) << c.name;
        }
    }
}

TEST(GIFDecoder, TruncatedAndHugeFrames)
{
    QByteArray cut = Data(2, W(3, {4, 1, 1, 1}) + W(4, {1, 5}));
    cut[1] = char(40); // a sub-block longer than the rest of the stream
    auto r = Load(Header() + Descriptor(2, 2) + cut);
    EXPECT_EQ(r.Error, "");
    EXPECT_EQ(r.Warnings, Strings{"Premature end of data"});
    ASSERT_EQ(r.Image->Count(), 1);
    EXPECT_EQ(r.Image->SubImage(0)->Data()[0], 1);
    // 65535 x 65535 in a 40-byte file is refused before any allocation.
    EXPECT_EQ(Load(Header() + Descriptor(65535, 65535) + Data(2, W(3, {4, 5}))).Error, "Image is too large");
    // A frame far outside the screen grows it, up to its 16 bits.
    auto outside = Load(Header() + Bytes({0x2C, 0xE8, 0xFD, 0, 0, 0xE8, 0x03, 1, 0, 0}) + Data(2, W(3, {4, 1, 5})));
    EXPECT_EQ(outside.Error, "");
    EXPECT_EQ(outside.Image->Width(), 65535);
    EXPECT_EQ(outside.Image->SubImage(0)->GetBitmap().width(), 1000);
    // Stream ends right after the descriptor: the frame keeps its fill.
    auto bare = Load(Header() + Descriptor(2, 2));
    EXPECT_EQ(bare.Error, "");
    ASSERT_EQ(bare.Image->Count(), 1);
    EXPECT_EQ(bare.Image->SubImage(0)->DataSize(), 4);
}

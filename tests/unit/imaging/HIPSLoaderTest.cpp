#include "TestHelpers.h"
#include "imaging/HIPSLoader.h"
#include "imaging/InputQuery.h"
#include "imaging/Progress.h"
#include "imaging/TextStrm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace imaging;
using itest::MessageOf;
using itest::ScriptedStream;

namespace {

std::vector<std::string> Lines(const std::string &data, int bufferSize, bool hipsEnds, int count)
{
    ScriptedStream s(data);
    TTextStream ts(bufferSize, 0, &s);
    if (hipsEnds)
        ts.LineEnd = ts.LineEndPartner = 10;
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
        std::string line;
        ts.ReadLine(line);
        out.push_back(line);
    }
    return out;
}

TEST(TextStream, LineBreakConventions)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(Lines("ab\r\ncd", -1, false, 2), (V{"ab", "cd"}));
    EXPECT_EQ(Lines("ab\ncd\n", -1, false, 2), (V{"ab", "cd"}));
    EXPECT_EQ(Lines("ab\rcd\r\r", -1, false, 3), (V{"ab", "cd", ""}));
    // CR LF pairs split by a buffer refill, and (with the HIPS settings) a
    // line feed that is the first byte of a refilled buffer still ends a line.
    EXPECT_EQ(Lines("abc\r\nd\r\ne", 4, false, 3), (V{"abc", "d", "e"}));
    EXPECT_EQ(Lines("ab\n\ncd\n", 2, true, 3), (V{"ab", "", "cd"}));
    EXPECT_EQ(Lines("8\r\n", 2, true, 1), (V{"8\r"}));
    // An endless line keeps its start and costs no more memory than that.
    const auto long_ = Lines(std::string(200000, 'x') + "\nz", -1, false, 2);
    EXPECT_EQ(long_[0].size(), std::size_t(TTextStream::MaxLine));
    EXPECT_EQ(long_[1], "z");
    EXPECT_EQ(MessageOf([] { Lines("ab\ncd\n", -1, false, 3); }), "Error reading from stream - Read less than expected");

    ScriptedStream out;
    TTextStream w(0, -1, &out);
    EXPECT_EQ(w.WriteLine("abc"), 5);
    w.Flush();
    EXPECT_EQ(out.written_, "abc\r\n");
    EXPECT_EQ(MessageOf([&] { std::string l; TTextStream(0, 0, &out).ReadLine(l); }), "Cannot read from stream");
}

std::string Floats(std::initializer_list<float> values, bool bigEndian)
{
    std::string s;
    for (float f : values) {
        char b[4];
        std::memcpy(b, &f, 4);
        if (bigEndian)
            std::swap(b[0], b[3]), std::swap(b[1], b[2]);
        s.append(b, 4);
    }
    return s;
}

// An extended header: rows, columns, rows again, then the pixel format.
std::string Extended(int rows, int cols, const std::string &format, const std::string &planes,
                     const std::string &tail = "0\n0\n0\n\n")
{
    return "name\nseq\n1\ndate\n" + std::to_string(rows) + "\n" + std::to_string(cols) + "\n" + std::to_string(rows) +
           "\n" + std::to_string(cols) + "\n0\n0\n" + format + "\n" + planes + "\n" + tail;
}

struct Loaded {
    std::string error;
    std::unique_ptr<TLinearBitmap> image = std::make_unique<TLinearBitmap>();
    const TLinearBitmap &bitmap = *image;
};

Loaded Load(const std::string &data)
{
    ScriptedStream s(data);
    Loaded r;
    r.error = MessageOf([&] { THIPSLoader().LoadFromStream(s, "HIP", *r.image); });
    return r;
}

std::vector<int> Pixels(const TLinearBitmap &b)
{
    return {b.Map.get(), b.Map.get() + b.Size};
}

TEST(HIPSLoader, HeaderForms)
{
    // The basic form: names, frame count, date, rows, columns, "8", four lines.
    std::string pixels;
    for (int i = 0; i < 24; ++i)
        pixels += static_cast<char>(i * 10);
    Loaded basic = Load("a\nb\n1\ndate\n4\n6\n8\n0\n0\nhist\ndesc\n" + pixels);
    ASSERT_EQ(basic.error, itest::kNoException);
    EXPECT_EQ(std::make_tuple(basic.bitmap.Width, basic.bitmap.Height, basic.bitmap.PixelFormat),
              std::make_tuple(6, 4, pf8bit));
    EXPECT_EQ(Pixels(basic.bitmap)[23], 230);
    EXPECT_EQ(basic.bitmap.Palette[3 * 77], 77);
    // Names that are numbers of 500 and more are passed over; CR LF files too.
    EXPECT_EQ(Load("600\n700\n800\n2\nd\n1\n2\n8\n0\n0\nh\nd\nxy").error, itest::kNoException);
    EXPECT_EQ(Load("a\r\nb\r\n1\r\nd\r\n1\r\n2\r\n8\r\n0\r\n0\r\nh\r\nd\r\nxy").error, itest::kNoException);

    // History and description are skipped by size, parameters by lines.
    Loaded skipped = Load(Extended(1, 2, "0", "1", "5\nHH\nHH3\nDDD2\np1\np2\nunused\n") + "\x07\x08");
    ASSERT_EQ(skipped.error, itest::kNoException);
    EXPECT_EQ(Pixels(skipped.bitmap), (std::vector<int>{7, 8}));

    const struct {
        std::string data, error;
    } refused[] = {
        {"a\nb\n1\nd\n4\n6\n16\n0\n0\nh\nd\n", "Unsupported bitmap format"},
        {Extended(1, 1, "5", "1"), "Unsupported bitmap format"},
        {"a\nb\n1\nd\nrows\n6\n8\n", "'rows' is not a valid integer value"},
        {"a\nb\n1\nd\n4\n0\n8\n0\n0\nh\nd\n", "Invalid bitmap size"},
        {"a\nb\n1\nd\n-4\n4\n8\n0\n0\nh\nd\n", "Invalid bitmap size"},
        {"a\nb\n1\nd\n100000\n100000\n8\n0\n0\nh\nd\n", "Invalid bitmap size"},
        {Extended(1, -5, "3", "2"), "Invalid bitmap size"},
        {"a\nb\n1\nd\n4\n6\n8\n0\n0\nh\nd\nshort", "Read less than expected"},
        {"a\nb\n1\nd\n4\n", "Error reading from stream - Read less than expected"},
        {Extended(1, 1, "0", "1", "999999999999\n"), "Read less than expected"},
    };
    for (const auto &r : refused)
        EXPECT_EQ(Load(r.data).error, r.error) << r.data;
}

TEST(HIPSLoader, PixelKinds)
{
    // Floats are rounded halves to even and clamped; NaN gives 0. A single
    // plane stores them most significant byte first, planes and triples least
    // significant first.
    const float nan = std::nanf("");
    Loaded one = Load(Extended(1, 6, "3", "1") + Floats({-1, 2.5f, 3.5f, 300, nan, 254.6f}, true));
    ASSERT_EQ(one.error, itest::kNoException);
    EXPECT_EQ(Pixels(one.bitmap), (std::vector<int>{0, 2, 4, 255, 0, 255}));

    Loaded two = Load(Extended(1, 2, "3", "2") + Floats({10, 20}, false) + Floats({30, 40}, false));
    ASSERT_EQ(two.error, itest::kNoException);
    EXPECT_EQ(Pixels(two.bitmap), (std::vector<int>{0, 30, 10, 0, 40, 20}));

    Loaded triple = Load(Extended(1, 1, "37", "1") + Floats({1, 2, 3}, false));
    EXPECT_EQ(Pixels(triple.bitmap), (std::vector<int>{1, 2, 3}));
    Loaded rgb = Load(Extended(1, 1, "35", "1") + "\x01\x02\x03");
    EXPECT_EQ(Pixels(rgb.bitmap), (std::vector<int>{3, 2, 1}));
}

TEST(HIPSLoader, PlaneChoice)
{
    const std::string data = Extended(1, 2, "0", "2") + "\x01\x02\x03\x04";
    std::vector<int> progress;
    std::string asked;
    std::string answer = "2";
    bool cancel = false;
    InputQuery = [&](const std::string &c, const std::string &p, std::string &v) {
        asked = c + "|" + p + "|" + v;
        v = answer;
        return !cancel;
    };
    // Without a progress callback nothing is asked: the first plane.
    EXPECT_EQ(Pixels(Load(data).bitmap), (std::vector<int>{1, 2}));
    EXPECT_EQ(asked, "");
    ProgressUpdate = [&](int p) { progress.push_back(p); };
    EXPECT_EQ(Pixels(Load(data).bitmap), (std::vector<int>{3, 4}));
    EXPECT_EQ(asked, "Select plane|Select plane to load (1-2)|1");
    answer = "3";
    EXPECT_EQ(Load(data).error, "Select plane to load (1-2)");
    answer = "-7";
    EXPECT_EQ(Load(data).error, "Select plane to load (1-2)");
    cancel = true;
    ScriptedStream s(data);
    TLinearBitmap kept;
    kept.New(3, 3, pf24bit);
    EXPECT_THROW(THIPSLoader().LoadFromStream(s, "HIP", kept), platform::EAbort);
    EXPECT_EQ(kept.Width, 3);

    // Planes of floats report each plane done.
    Load(Extended(1, 1, "3", "3") + Floats({1, 2, 3}, false));
    EXPECT_EQ(progress, (std::vector<int>{33, 66, 100}));
    ProgressUpdate = nullptr;
    InputQuery = nullptr;
}

TEST(HIPSLoader, RegistryEntries)
{
    THIPSLoader l;
    EXPECT_TRUE(l.CanLoad("HIP") && l.CanLoad("HIPS"));
    EXPECT_FALSE(l.CanLoad("HIPX") || l.CanSave("HIP") || l.CanSave("HIPS"));
    std::string f;
    l.GetLoadFilter(f);
    EXPECT_EQ(f, "HIPS image (*.hips)|*.hips;*.hip");
}

} // namespace

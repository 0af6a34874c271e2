#include "ResourceUsage.h"
#include "TestHelpers.h"
#include "imaging/HIPSLoader.h"
#include "imaging/InputQuery.h"
#include "imaging/Progress.h"
#include "imaging/TextStrm.h"

#include <cmath>

using namespace imaging;
using itest::kNoException;
using itest::MessageOf;
using V = std::vector<std::string>;

namespace {

V Lines(const std::string &data, int bufferSize, bool hipsEnds, int count)
{
    itest::ScriptedStream s(data);
    TTextStream ts(bufferSize, 0, &s);
    if (hipsEnds)
        ts.LineEnd = ts.LineEndPartner = 10;
    V out(count);
    for (auto &line : out)
        ts.ReadLine(line);
    return out;
}

TEST(TextStream, LineBreakConventions)
{
    // CR LF pairs split by a buffer refill, and (with the HIPS settings) a line feed that is the first byte of a refilled
    // buffer still ends a line.
    const struct { std::string data; int buffer; bool hips; V lines; } cases[] = {
        {"ab\r\ncd", -1, false, {"ab", "cd"}}, {"ab\ncd\n", -1, false, {"ab", "cd"}},
        {"ab\rcd\r\r", -1, false, {"ab", "cd", ""}}, {"abc\r\nd\r\ne", 4, false, {"abc", "d", "e"}},
        {"ab\n\ncd\n", 2, true, {"ab", "", "cd"}}, {"8\r\n", 2, true, {"8\r"}},
        // An endless line keeps its start and costs no more memory than that.
        {std::string(200000, 'x') + "\nz", -1, false, {std::string(TTextStream::MaxLine, 'x'), "z"}}};
    for (const auto &c : cases)
        EXPECT_EQ(Lines(c.data, c.buffer, c.hips, int(c.lines.size())), c.lines) << c.data.substr(0, 20);
    EXPECT_EQ(MessageOf([] { Lines("ab\ncd\n", -1, false, 3); }), "Error reading from stream - Read less than expected");

    itest::ScriptedStream out;
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
        std::string b(reinterpret_cast<const char *>(&f), 4);
        s += bigEndian ? std::string(b.rbegin(), b.rend()) : b;
    }
    return s;
}

// An extended header: rows, columns, rows again, then the pixel format.
std::string Extended(int rows, int cols, const std::string &format, const std::string &planes,
                     const std::string &tail = "0\n0\n0\n\n")
{
    const std::string r = std::to_string(rows) + "\n", c = std::to_string(cols) + "\n";
    return "name\nseq\n1\ndate\n" + r + c + r + c + "0\n0\n" + format + "\n" + planes + "\n" + tail;
}

std::string Load(const std::string &data, TLinearBitmap *out = nullptr)
{
    itest::ScriptedStream s(data);
    TLinearBitmap own;
    return MessageOf([&] { THIPSLoader().LoadFromStream(s, "HIP", out ? *out : own); });
}

itest::Bytes Pixels(const std::string &data)
{
    TLinearBitmap b;
    EXPECT_EQ(Load(data, &b), kNoException);
    return itest::PixelsOf(b);
}

TEST(HIPSLoader, HeaderForms)
{
    // The basic form: names, frame count, date, rows, columns, "8", four lines.
    TLinearBitmap basic;
    ASSERT_EQ(Load("a\nb\n1\ndate\n4\n6\n8\n0\n0\nhist\ndesc\n" + std::string(23, 'p') + "\xE6", &basic), kNoException);
    EXPECT_EQ(std::tuple(basic.Width, basic.Height, basic.PixelFormat, basic.Map[23], basic.Palette[3 * 77]),
              std::tuple(6, 4, pf8bit, 230, 77));
    // Names that are numbers of 500 and more are passed over; CR LF files too. History and description are skipped by size,
    // parameters by lines.
    EXPECT_EQ(Pixels("600\n700\n800\n2\nd\n1\n2\n8\n0\n0\nh\nd\nxy"), (itest::Bytes{'x', 'y'}));
    EXPECT_EQ(Pixels("a\r\nb\r\n1\r\nd\r\n1\r\n2\r\n8\r\n0\r\n0\r\nh\r\nd\r\nxy"), (itest::Bytes{'x', 'y'}));
    EXPECT_EQ(Pixels(Extended(1, 2, "0", "1", "5\nHH\nHH3\nDDD2\np1\np2\nunused\n") + "\x07\x08"), (itest::Bytes{7, 8}));

    const std::pair<std::string, const char *> refused[] = {
        {"a\nb\n1\nd\n4\n6\n16\n0\n0\nh\nd\n", "Unsupported bitmap format"},
        {Extended(1, 1, "5", "1"), "Unsupported bitmap format"},
        {"a\nb\n1\nd\nrows\n6\n8\n", "'rows' is not a valid integer value"},
        {"a\nb\n1\nd\n4\n0\n8\n0\n0\nh\nd\n", "Invalid bitmap size"},
        {"a\nb\n1\nd\n-4\n4\n8\n0\n0\nh\nd\n", "Invalid bitmap size"},
        {"a\nb\n1\nd\n100000\n100000\n8\n0\n0\nh\nd\n", "Invalid bitmap size"},
        {"a\nb\n1\nd\n4\n6\n8\n0\n0\nh\nd\nshort", "Read less than expected"},
        {"a\nb\n1\nd\n4\n", "Error reading from stream - Read less than expected"},
        {Extended(1, 1, "0", "1", "999999999999\n"), "Read less than expected"}};
    for (const auto &[data, error] : refused)
        EXPECT_EQ(Load(data), error) << data;

    std::string f;
    EXPECT_EQ((THIPSLoader().GetLoadFilter(f), f), "HIPS image (*.hips)|*.hips;*.hip");
}

TEST(HIPSLoader, PixelKinds)
{
    // Floats round halves to even and clamp, NaN gives 0; one plane stores them big-endian, planes and triples little-endian.
    EXPECT_EQ(Pixels(Extended(1, 6, "3", "1") + Floats({-1, 2.5f, 3.5f, 300, std::nanf(""), 254.6f}, true)),
              (itest::Bytes{0, 2, 4, 255, 0, 255}));
    EXPECT_EQ(Pixels(Extended(1, 2, "3", "2") + Floats({10, 20, 30, 40}, false)), (itest::Bytes{0, 30, 10, 0, 40, 20}));
    EXPECT_EQ(Pixels(Extended(1, 1, "37", "1") + Floats({1, 2, 3}, false)), (itest::Bytes{1, 2, 3}));
    EXPECT_EQ(Pixels(Extended(1, 1, "35", "1") + "\x01\x02\x03"), (itest::Bytes{3, 2, 1}));

    // Data is read in pieces: a triple on each side of a piece's end keeps its place.
    std::string many(3 * 30000 * 12, '\0');
    for (int i : {65535, 65536, 89999})
        many.replace(12 * std::size_t(i), 12, Floats({float(i % 7), 5, 6}, false));
    const itest::Bytes all = Pixels(Extended(3, 30000, "37", "1") + many);
    ASSERT_EQ(all.size(), 3u * 90000);
    for (int i : {65535, 65536, 89999})
        EXPECT_EQ(itest::Bytes(&all[3 * i], &all[3 * i + 3]), (itest::Bytes{std::uint8_t(i % 7), 5, 6})) << i;
}

TEST(HIPSLoader, HugeDeclaredSizesCostNothingWithoutTheirData)
{
    // 2^28 float triples in one row (3 GB, past a 32-bit count) and 2^28 bytes: the first read finds the data missing.
    for (const auto &header : {Extended(1, 1 << 28, "37", "1"), Extended(1 << 14, 1 << 14, "0", "1")}) {
        std::string error;
        const testutil::TUsage used = testutil::UsageOf([&] { error = Load(header + "tiny"); });
        EXPECT_EQ(error, "Read less than expected");
        EXPECT_LT(used.PeakMiB, 32);
        EXPECT_LT(used.CpuSeconds, 0.5);
    }
}

TEST(HIPSLoader, PlaneChoice)
{
    const std::string data = Extended(1, 2, "0", "2") + "\x01\x02\x03\x04";
    std::string asked, answer = "2";
    bool cancel = false;
    InputQuery = [&](const std::string &c, const std::string &p, std::string &v) {
        asked = c + "|" + p + "|" + v;
        v = answer;
        return !cancel;
    };
    // Without a progress callback nothing is asked: the first plane.
    EXPECT_EQ(Pixels(data), (itest::Bytes{1, 2}));
    EXPECT_EQ(asked, "");
    ProgressUpdate = [](int) {};
    EXPECT_EQ(Pixels(data), (itest::Bytes{3, 4}));
    EXPECT_EQ(asked, "Select plane|Select plane to load (1-2)|1");
    for (const char *out : {"0", "3", "-7"})
        EXPECT_EQ((answer = out, Load(data)), "Select plane to load (1-2)");
    cancel = true;
    itest::ScriptedStream s(data);
    auto kept = itest::NewBitmap(3, 3, pf24bit);
    EXPECT_THROW(THIPSLoader().LoadFromStream(s, "HIP", *kept), platform::EAbort);
    EXPECT_EQ(kept->Width, 3);
    ProgressUpdate = nullptr, InputQuery = nullptr;
}

} // namespace

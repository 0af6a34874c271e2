#include "support/TextRoutines.h"

#include "platform/core/Exceptions.h"
#include "TestUtil.h"

#include <QWidget>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace support;
using testutil::ReadFile;
using testutil::TempDir;

TEST(TextRoutines, BlankTestUsesUnsignedCodes)
{
    using namespace std::string_literals;
    for (const std::string &s : {""s, " "s, "\r\n"s, "\t"s, "\0"s})
        EXPECT_TRUE(IsBlank(s)) << s;
    EXPECT_FALSE(IsBlank("a"));
    EXPECT_FALSE(IsBlank("\xA0")); // a signed-char test would call 0xA0 blank
    EXPECT_FALSE(IsBlank(" \xE9 "));
}

TEST(TextRoutines, WrappingAndNumbers)
{
    EXPECT_EQ(InQuotes("x") + InParens("x") + InBrackets("x") + InAngles("Esc"), "'x'(x)[x]<Esc>");
    EXPECT_EQ(HexWord(0xfff) + HexWord(0xabcd) + HexByte(0x5) + HexByte(0x7f), "0FFFABCD057F");
    EXPECT_EQ(PointToText({120, 45}), "120.45");
    EXPECT_EQ(PointToText({-3, 0}), "-3.0");
    EXPECT_EQ(RectToText({10, 20, 110, 220}), "10.20 - 110.220");
}

TEST(TextRoutines, BufferToStringStaysInsideItsBuffer)
{
    const char buf[4] = {'a', 'b', 'c', 'd'}; // no terminator on purpose
    EXPECT_EQ(BufferToString(buf, 4, 2), "ab");
    EXPECT_EQ(BufferToString(buf, 4, 99), "abcd");
    EXPECT_EQ(BufferToString(buf, 4, -1), "");
    EXPECT_EQ(BufferToString(buf, 0, 3), "");
    EXPECT_EQ(BufferToString(nullptr, 4, 3), "");
}

TEST(TextRoutines, Joining)
{
    EXPECT_EQ(AddNewLine("a"), "a\r\n");
    EXPECT_EQ(AddNewLine(" \t"), " \t");
    EXPECT_EQ(AppendLine("a", "b"), "a\r\nb");
    EXPECT_EQ(AppendLine("a", ""), "a");
    EXPECT_EQ(AppendLine(" ", "b"), "b");
    EXPECT_EQ(JoinNonBlank(" ", "\t", "-"), "\t"); // both blank: the second operand
    EXPECT_EQ(JoinNonBlank(" ", "b", "-"), "b");
    EXPECT_EQ(JoinNonBlank("a", "", "-"), "a");
    EXPECT_EQ(JoinNonBlank("a", "b", ": "), "a: b");
    EXPECT_EQ(PrefixLines("xy", "a\r\nb"), "xya\r\nxyb\r\n");
    EXPECT_EQ(PrefixLines("> ", "a\nb\rc"), "> a\r\n> b\r\n> c\r\n");
    EXPECT_EQ(PrefixLines("> ", "a\r\n\r\nb"), "> a\r\n> \r\n> b\r\n");
    EXPECT_EQ(PrefixLines("xy", ""), "");
    const std::string d = AddNameValue("", "Directory", "C:\\x", true);
    EXPECT_EQ(AddNameValue(d, "ClassName", "EFoo", true), "Directory: 'C:\\x'\r\nClassName: 'EFoo'");
    EXPECT_EQ(AddNameValue("", "", "v", false), "v");
    EXPECT_EQ(AddNameValue("", "Name", "", false), "Name");
    EXPECT_EQ(AddNameValue("top", "Name", "", true), "top\r\nName: ''");
}

TEST(TextRoutines, Searching)
{
    EXPECT_TRUE(EndsWith("Report.TXT", ".txt"));
    EXPECT_FALSE(EndsWith("", ""));
    EXPECT_FALSE(EndsWith("a", ""));
    EXPECT_FALSE(EndsWith("txt", ".txt"));
    // An empty part is never contained.
    EXPECT_FALSE(ContainsStr("abc", "", true));
    EXPECT_FALSE(ContainsText("abc", ""));
    EXPECT_FALSE(ContainsStr("", "", false));
    EXPECT_TRUE(ContainsText("Hello World", "WORLD"));
    EXPECT_FALSE(ContainsStr("Hello World", "WORLD", true));
    EXPECT_TRUE(ContainsStr("Hello World", "World", true));
}

TEST(TextRoutines, PercentSubstitution)
{
    EXPECT_EQ(SubstArgs("% and %", {"1%", "2"}), "12 and %");
    EXPECT_EQ(SubstArgs("% and %", {"a", "b"}), "a and b");
    EXPECT_EQ(SubstArgs("no place", {"x"}), "no place [x]");
    EXPECT_EQ(SubstArgs("one %", {"a", "b", "c"}), "one a [b] [c]");
    EXPECT_EQ(SubstArgs("keep %", {}), "keep %");
    EXPECT_EQ(SubstOne("Image captured with %", "Korvane ScreenShot - Ver. 2.0"),
              "Image captured with Korvane ScreenShot - Ver. 2.0");
}

TEST(TextRoutines, TimeStamps)
{
    const platform::DateTime t{2009, 9, 9, 14, 5, 3, 7};
    EXPECT_EQ(DateTimeMsStamp("/", ":", ".", " ", t), "2009/09/09 14:05:03.007");
    EXPECT_EQ(TraceStamp(t), "2009/09/09 14:05:03.007");
    EXPECT_EQ(DateStamp("_", t), "2009_09_09");
    EXPECT_EQ(DateTimeMsStampSep("-", t), "2009-09-09-14-05-03-007");
    EXPECT_EQ(DateTimeStamp("", "", "T", {999, 12, 31, 0, 0, 0, 999}), "09991231T000000");
}

TEST(TextRoutines, RangesRectanglesAndCentring)
{
    EXPECT_EQ(EnsureInRange(0, -3, 8), 0);
    EXPECT_EQ(EnsureInRange(0, 9, 8), 8);
    EXPECT_EQ(NormalizedRect(10, 50, 5, 20), (platform::TRect{5, 20, 10, 50}));
    int a = 1, b = 2;
    SwapInt(a, b);
    EXPECT_EQ(std::make_pair(a, b), std::make_pair(2, 1));

    QWidget parent;
    parent.resize(101, 50);
    auto *child = new QWidget(&parent);
    child->setGeometry(7, 9, 20, 10);
    CenterControl(&parent, child, true, false);
    EXPECT_EQ(child->pos(), QPoint(40, 9));
    child->resize(110, 61);
    CenterControl(&parent, child, true, true);
    EXPECT_EQ(child->pos(), QPoint(-4, -5)); // -9 / 2 truncates toward zero
    CenterControl(nullptr, child, true, true);
    EXPECT_EQ(child->pos(), QPoint(-4, -5));
}

TEST(WriteTextToFile, CreatesAppendsAndReplaces)
{
    TempDir dir;
    const std::string f = dir.File("deep/er/report.txt");
    WriteTextToFile("first", f, false, true, true);
    EXPECT_EQ(ReadFile(f), "first");
    WriteTextToFile("second", f, false, true, true);
    EXPECT_EQ(ReadFile(f), "first\r\nsecond");
    WriteTextToFile("third", f, false, true, false);
    EXPECT_EQ(ReadFile(f), "first\r\nsecond\nthird");
    WriteTextToFile("", f, false, false, true);
    EXPECT_EQ(ReadFile(f), "first\r\nsecond\nthird\r");
    WriteTextToFile("fresh", f, true, true, true);
    EXPECT_EQ(ReadFile(f), "fresh");
}

TEST(WriteTextToFile, UnwritablePlaceRaises)
{
    using testing::AllOf, testing::HasSubstr;
    TempDir dir;
    testutil::WriteFile(dir.File("plain"), "x");
    // A folder that cannot be created (its parent is a file) fails for root too.
    EXPECT_THAT([&] { WriteTextToFile("t", dir.File("plain/sub/r.txt"), false, true, true); },
                testing::ThrowsMessage<platform::EFCreateError>(
                    AllOf(HasSubstr("Cannot create file"), HasSubstr("plain/sub/r.txt"))));
    EXPECT_THROW(WriteTextToFile("t", "/proc/version", false, true, true), platform::Exception);
}

#include "support/TextRoutines.h"
#include "TestUtil.h"
#include "platform/core/Exceptions.h"
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace support;
using testutil::ReadFile;

TEST(TextRoutines, TextHelpersGiveTheExactTexts)
{
    using namespace std::string_literals;
    for (const std::string &s : {""s, " "s, "\r\n"s, "\t"s, "\0"s})
        EXPECT_TRUE(IsBlank(s)) << s;
    for (const char *s : {"a", "\xA0", " \xE9 "}) // a signed-char test would call 0xA0 blank
        EXPECT_FALSE(IsBlank(s)) << s;
    const char buf[4] = {'a', 'b', 'c', 'd'}; // no terminator on purpose
    const platform::DateTime t{2009, 9, 9, 14, 5, 3, 7};
    const std::string d = AddNameValue("", "Directory", "C:\\x", true);
    const std::pair<std::string, std::string> cases[] = {
        {InQuotes("x") + InParens("x") + InBrackets("x") + InAngles("Esc"), "'x'(x)[x]<Esc>"},
        {HexWord(0xfff) + HexWord(0xabcd) + HexByte(0x5) + HexByte(0x7f), "0FFFABCD057F"},
        {PointToText({120, 45}) + " " + PointToText({-3, 0}), "120.45 -3.0"},
        {RectToText({10, 20, 110, 220}), "10.20 - 110.220"},
        {BufferToString(buf, 4, 2), "ab"}, {BufferToString(buf, 4, 99), "abcd"},
        {BufferToString(buf, 4, -1) + BufferToString(buf, 0, 3) + BufferToString(nullptr, 4, 3), ""},
        {AddNewLine("a"), "a\r\n"}, {AddNewLine(" \t"), " \t"}, {AppendLine("a", ""), "a"}, {AppendLine(" ", "b"), "b"},
        {JoinNonBlank(" ", "\t", "-"), "\t"}, // both blank: the second operand
        {JoinNonBlank("a", "", "-"), "a"}, {JoinNonBlank("a", "b", ": "), "a: b"},
        {PrefixLines("> ", "a\nb\rc"), "> a\r\n> b\r\n> c\r\n"}, {PrefixLines("> ", "a\r\n\r\nb"), "> a\r\n> \r\n> b\r\n"},
        {AddNameValue(d, "ClassName", "EFoo", true), "Directory: 'C:\\x'\r\nClassName: 'EFoo'"},
        {AddNameValue("", "", "v", false), "v"}, {AddNameValue("top", "Name", "", true), "top\r\nName: ''"},
        {SubstArgs("% and %", {"1%", "2"}), "12 and %"}, {SubstArgs("one %", {"a", "b", "c"}), "one a [b] [c]"},
        {SubstOne("Image captured with %", "Korvane ScreenShot - Ver. 2.0"),
         "Image captured with Korvane ScreenShot - Ver. 2.0"},
        {DateTimeMsStamp("/", ":", ".", " ", t), "2009/09/09 14:05:03.007"},
        {DateTimeStamp("", "", "T", {999, 12, 31, 0, 0, 0, 999}), "09991231T000000"},
    };
    for (const auto &[got, want] : cases)
        EXPECT_EQ(got, want);
    // An empty part is never contained, nor an empty end.
    const std::pair<bool, bool> found[] = {
        {EndsWith("Report.TXT", ".txt"), true}, {EndsWith("a", ""), false}, {EndsWith("txt", ".txt"), false},
        {ContainsStr("abc", "", true), false}, {ContainsText("Hello World", "WORLD"), true},
        {ContainsStr("Hello World", "WORLD", true), false}};
    for (size_t i = 0; i < std::size(found); ++i)
        EXPECT_EQ(found[i].first, found[i].second) << i;
}

TEST(WriteTextToFile, CreatesAppendsReplacesAndRaisesWhereItCannotWrite)
{
    testutil::TempDir dir;
    const std::string f = dir.File("deep/er/report.txt");
    const struct { const char *text; bool replace, newLine, crlf; const char *file; } steps[] = {
        {"first", false, true, true, "first"}, {"second", false, true, true, "first\r\nsecond"},
        {"third", false, true, false, "first\r\nsecond\nthird"}, {"", false, false, true, "first\r\nsecond\nthird\r"},
        {"fresh", true, true, true, "fresh"}};
    for (const auto &s : steps) {
        WriteTextToFile(s.text, f, s.replace, s.newLine, s.crlf);
        EXPECT_EQ(ReadFile(f), s.file);
    }
    // A folder that cannot be created (its parent is a file) fails for root too.
    testutil::WriteFile(dir.File("plain"), "x");
    EXPECT_THAT([&] { WriteTextToFile("t", dir.File("plain/sub/r.txt"), false, true, true); },
                testing::ThrowsMessage<platform::EFCreateError>(testing::AllOf(
                    testing::HasSubstr("Cannot create file"), testing::HasSubstr("plain/sub/r.txt"))));
    EXPECT_THROW(WriteTextToFile("t", "/proc/version", false, true, true), platform::Exception);
}

#include "support/ExceptionReport.h"
#include "TestUtil.h"
#include "TraceTestUtil.h"
#include "platform/core/Clock.h"
#include "platform/core/Exceptions.h"
#include "platform/core/ProgramPath.h"
#include "support/MapFile.h"
#include "support/QX_CallStack.h"
#include "support/QX_VisualTraceCore.h"
#include "support/Results.h"
#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace support;

namespace {
const std::string kEq(80, '=');
const platform::DateTime kWhen{2009, 9, 9, 14, 5, 3, 7};

// A headless trace component as GlobalTrace: data file in a private folder, level 1, output captured.
class ReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        trace_.SetDataFileName(dir_.File("shot.Trace.txt")), trace_.SetCurrentLevel(1);
        trace_.SetStandardOutputSink(tracetest::Into(traced_)), trace_.SetToStandardOutput(true), trace_.Activate();
        GlobalTrace = &trace_;
        SetFileVersionSource([](const std::string &file) { return file == platform::ProgramFileName() ? "2.0.0.0" : ""; });
    }
    void TearDown() override { GlobalTrace = nullptr, SetFileVersionSource({}); }
    std::string ErrorsFile() const { return dir_.File("2009_09_09_shot.Trace.ERRORS.txt"); }
    std::vector<std::string> FlushTrace() { return trace_.Flush(), std::move(traced_); }
    // The number of framed trace blocks (two separators each).
    static long FramedBlocks(const std::vector<std::string> &l) { return std::count(l.begin(), l.end(), " 2009/09/09 14:05:03.007 " + std::string(60, '!')) / 2; }
    platform::ScopedClock clock_{[] { return kWhen; }};
    testutil::TempDir dir_;
    std::vector<std::string> traced_; // outlives trace_, which flushes into it when destroyed
    TVisualTraceCore trace_;
};

std::string Head() { return kEq + "\r\n2009/09/09 14:05:03.007\r\n" + platform::ProgramFileName() + "\r\nVer.2.0.0.0\r\n" + kEq + "\r\n"; }
std::string ModuleDetail(const std::string &className) { return "ClassName: '" + className + "'\r\nin module: '" + platform::ProgramFileName() + "'"; }

// Places a map file beside the test program while it lives.
struct ScopedMapFile {
    explicit ScopedMapFile(const std::string &text) { testutil::WriteFile(name, text); }
    ~ScopedMapFile() { std::remove(name.c_str()); }
    const std::string name = platform::ChangeFileExt(platform::ProgramFileName(), ".map");
};
} // namespace

TEST_F(ReportTest, ConversionErrorInAnApplicationAction)
{
    TQXResultEx r;
    ExceptionReport(platform::EConvertError("abc"), 80, nullptr, 0, {}, r);
    EXPECT_EQ(std::make_tuple(r.Code, r.Text, r.Detail),
              std::make_tuple(0x500FFF, std::string("Exception: 'abc'"), ModuleDetail("EConvertError")));
    const std::string block = Head() + "System error (50.0FFF)\r\nException: 'abc'\r\n" + ModuleDetail("EConvertError");
    EXPECT_EQ(testutil::ReadFile(ErrorsFile()), block);
    // A second report follows after CR LF, with an extra text line and a note as its last line.
    TQXResultEx r2;
    ExceptionReportEx(std::out_of_range("index 7"), "note: while saving", 6, nullptr, 0, "Destination folder: '/x'", r2);
    EXPECT_EQ(std::make_pair(r2.Code, r2.Text),
              std::make_pair(0x6FFF, std::string("Exception: 'index 7'\r\nDestination folder: '/x'")));
    const std::string block2 = Head() + "System error (6FFF)\r\nException: 'index 7'\r\n"
                                        "Destination folder: '/x'\r\n" +
                               ModuleDetail("std::out_of_range") + "\r\nnote: while saving";
    EXPECT_EQ(testutil::ReadFile(ErrorsFile()), block + "\r\n" + block2);
    // Both reports were traced at level 1 between lines of 60 "!".
    EXPECT_EQ(FramedBlocks(FlushTrace()), 2);
}

TEST_F(ReportTest, CallStackDumpEndsTheBlock)
{
    TQXCI ci;
    ci.Enter("A"), ci.EnterEx("B", "x=1", true);
    TQXResultEx r;
    ExceptionReport(platform::EInOutError("disk full"), 80, &ci, 0, {}, r);
    const std::string expected = Head() + "System error (50.0FFF)\r\nException: 'disk full'\r\n" +
                                 ModuleDetail("EInOutError") + "\r\n\r\n" + ci.Dump() + "\r\n";
    EXPECT_EQ(testutil::ReadFile(ErrorsFile()), expected);
    EXPECT_EQ(ReportBlock(r, &ci), expected);
}

TEST_F(ReportTest, FlagsSkipTheTraceOrTheFile)
{
    TQXResultEx r;
    ExceptionReport(platform::Exception("quiet"), 80, nullptr, efNoTrace | efNoErrorsFile, {}, r);
    EXPECT_EQ(r.Code, 0x500FFF);
    EXPECT_FALSE(testutil::FileExists(ErrorsFile()));
    EXPECT_TRUE(FlushTrace().empty());
    ExceptionToQXRX(platform::Exception("no file"), 80, 0, r);
    EXPECT_FALSE(testutil::FileExists(ErrorsFile()));
    EXPECT_EQ(FramedBlocks(FlushTrace()), 1);
    ExceptionReport(platform::Exception("file only"), 80, nullptr, efNoTrace, {}, r);
    EXPECT_TRUE(testutil::FileExists(ErrorsFile()));
    EXPECT_TRUE(FlushTrace().empty());
}

TEST_F(ReportTest, UnwritableErrorFileNeverEscapesTheReport)
{
    // The report folder's parent is a plain file, so the folder cannot exist.
    testutil::WriteFile(dir_.File("plain"), "x");
    trace_.SetDataFileName(dir_.File("plain/sub/shot.Trace.txt"));
    TQXResultEx r;
    EXPECT_NO_THROW(ExceptionReport(platform::EConvertError("abc"), 80, nullptr, 0, "extra", r));
    EXPECT_EQ(std::make_pair(r.Code, r.Text), std::make_pair(0x500FFF, std::string("Exception: 'abc'\r\nextra")));
    std::vector<std::string> lines = FlushTrace();
    EXPECT_EQ(FramedBlocks(lines), 1); // the framed block, then the write failure
    std::string failure;
    for (const auto &l : lines)
        failure += l.substr(std::min<size_t>(25, l.size())); // without the prefix or its blanks
    const std::string file = dir_.File("plain/sub/2009_09_09_shot.Trace.ERRORS.txt");
    EXPECT_NE(failure.find("Error-report file \"" + file + "\" not written: "), std::string::npos) << failure;
}

TEST(ExceptionReport, WithoutTraceComponentOrVersionSource)
{
    ASSERT_EQ(GlobalTrace.load(), nullptr);
    TQXResultEx r;
    EXPECT_NO_THROW(ExceptionReport(std::runtime_error("boom"), 80, nullptr, 0, {}, r));
    std::string text, detail;
    DescribeExceptionAt(nullptr, platform::EAbort(), text, detail);
    EXPECT_EQ(text + "|" + detail, "Exception: 'Operation aborted'|ClassName: 'EAbort'\r\nin module: ''"); // no module
}

TEST(ExceptionReport, DescriptionFromTheMapFileBesideTheProgram)
{
    // The offset of a known address, between two lines.
    std::string mapName, moduleName;
    const void *address = reinterpret_cast<const void *>(&ModuleDetail);
    const std::uint64_t offset = MapFileFor(address, mapName, moduleName);
    ASSERT_GT(offset, 0x20u);
    auto at = [offset](std::int64_t d) {
        char b[32];
        std::snprintf(b, sizeof b, " 0001:%08llX", static_cast<unsigned long long>(offset + d));
        return std::string(b);
    };
    ScopedMapFile exact("Detailed map of segments\n" + at(-0x10) + " 00000020 C=CODE M=TextRoutines ACBP=A9\n"
                        "Address Publics by Value\n" + at(-1) + " TextRoutines.Before\n" + at(1) +
                        " TextRoutines.After\nLine numbers for TextRoutines(support/TextRoutines.cpp)\n    7" + at(-2) +
                        "    8" + at(0) + "    9" + at(2) + "\n");
    std::string description, detail;
    DescribeExceptionAt(address, std::logic_error("x"), description, detail);
    EXPECT_EQ(description + "|" + detail, "Exception: 'x'|ClassName: 'std::logic_error'\r\nin file   : 'TextRoutines'\r\n"
                      "in proced. : 'TextRoutines.Before'\r\non line    : '7'");
}

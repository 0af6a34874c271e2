#include "support/ExceptionReport.h"

#include "platform/core/Clock.h"
#include "platform/core/Exceptions.h"
#include "platform/core/ProgramPath.h"
#include "support/MapFile.h"
#include "support/QX_CallStack.h"
#include "support/QX_VisualTraceCore.h"
#include "support/Results.h"
#include "support/TextRoutines.h"

#include <mutex>

namespace support {

namespace {

constexpr std::int32_t kExceptionCode = qxrException;
const std::string kEqualsLine(80, '=');
const TResultOptions kReportOptions = roCRLF | roSeverity | roDetail;

std::mutex g_versionLock;
TFileVersionSource g_versionSource;

// Traces `text` at level 1 when there is a trace component; never throws.
void TraceLevel1(const std::string &text, bool framed) noexcept
{
    try {
        if (TVisualTraceCore *trace = GlobalTrace.load()) {
            if (framed)
                trace->AddFramed(1, text, '!');
            else
                trace->Add(1, {}, text);
        }
    } catch (...) {
        // Tracing is diagnosis only; the report goes on without it.
    }
}

} // namespace

void SetFileVersionSource(TFileVersionSource source)
{
    std::lock_guard<std::mutex> lock(g_versionLock);
    g_versionSource = std::move(source);
}

std::string ReportFileVersion(const std::string &fileName)
{
    TFileVersionSource source;
    {
        std::lock_guard<std::mutex> lock(g_versionLock);
        source = g_versionSource;
    }
    return source ? source(fileName) : std::string();
}

void DescribeExceptionAt(const void *address, const std::exception &E, std::string &text,
                         std::string &detail)
{
    text.clear();
    detail.clear();
    try {
        const std::string message = E.what();
        const std::string className = platform::ExceptionClassName(E);
        std::string mapName, moduleName;
        const std::uint64_t offset = MapFileFor(address, mapName, moduleName);
        std::string unit, procedure, line;
        bool mapped;
        {
            std::lock_guard<std::recursive_mutex> lock(MapFileLock());
            mapped = LoadMapFile(mapName);
            if (mapped) {
                UnitAt(offset, unit);
                ProcedureAt(offset, procedure);
                LineAt(offset, line);
            }
        }
        text = AddNameValue(text, "Exception", message, true);
        detail = AddNameValue(detail, "ClassName", className, true);
        if (mapped) {
            detail = AddNameValue(detail, "in file   ", unit, true);
            detail = AddNameValue(detail, "in proced. ", procedure, true);
            detail = AddNameValue(detail, "on line    ", line, true);
        } else {
            detail = AddNameValue(detail, "in module", moduleName, true);
        }
    } catch (...) {
        // The caller shows the inspection banner with the original message
        // and class, which say more than the description's own failure.
        text.clear();
        detail.clear();
    }
}

void ExceptionToQXRXAt(const void *address, const std::exception &E, std::uint8_t module,
                       TExceptionFlags flags, TQXResultEx &r)
{
    r.Code = ComposeCode(kExceptionCode, module);
    r.Text = std::string(E.what()) + " " + InParens(platform::ExceptionClassName(E));
    std::string text, detail;
    DescribeExceptionAt(address, E, text, detail);
    if (!IsBlank(text)) {
        r.Text = text;
        r.Detail = detail;
    } else {
        r.Text = std::string(CRLF) + "!!! Error inspecting map file. Sorry. !!!" + CRLF + CRLF + r.Text;
    }
    if (!(flags & efNoTrace) && GlobalTrace.load()) {
        try {
            TraceLevel1("ExceptionToQXRX" + std::string(CRLF) + ResultToText(r, kReportOptions), true);
        } catch (...) {
            // Formatting the trace text failed; the record is complete anyway.
        }
    }
}

std::string ReportBlock(const TQXResultEx &r, const TQXCI *callStack)
{
    const std::string program = platform::ProgramFileName();
    std::string block = kEqualsLine + CRLF + TraceStamp(platform::Now()) + CRLF + program + CRLF +
                        "Ver." + ReportFileVersion(program) + CRLF + kEqualsLine + CRLF +
                        ResultToText(r, kReportOptions);
    if (callStack)
        block += std::string(CRLF) + CRLF + callStack->Dump() + CRLF;
    return block;
}

void ExceptionReportAt(const void *address, const std::exception &E, const std::string &fileNote,
                       std::uint8_t module, const TQXCI *callStack, TExceptionFlags flags,
                       const std::string &extra, TQXResultEx &r)
{
    ExceptionToQXRXAt(address, E, module, flags, r);
    r.Text = AppendLine(r.Text, extra);
    if (flags & efNoErrorsFile)
        return;
    TVisualTraceCore *trace = GlobalTrace.load();
    if (!trace)
        return;
    std::string fileName;
    try {
        fileName = trace->ErrorsFileName();
        std::string block = AppendLine(ReportBlock(r, callStack), fileNote);
        WriteTextToFile(block, fileName, false, true, true);
    } catch (const std::exception &e) {
        // The operation that is reporting must still return its record.
        TraceLevel1("Error-report file \"" + fileName + "\" not written: " + e.what(), false);
    } catch (...) {
        TraceLevel1("Error-report file \"" + fileName + "\" not written", false);
    }
}

__attribute__((noinline)) void DescribeException(const std::exception &E, std::string &text,
                                                 std::string &detail)
{
    DescribeExceptionAt(__builtin_return_address(0), E, text, detail);
}

__attribute__((noinline)) void ExceptionToQXRX(const std::exception &E, std::uint8_t module,
                                               TExceptionFlags flags, TQXResultEx &r)
{
    ExceptionToQXRXAt(__builtin_return_address(0), E, module, flags, r);
}

__attribute__((noinline)) void ExceptionReportEx(const std::exception &E, const std::string &fileNote,
                                                 std::uint8_t module, const TQXCI *callStack,
                                                 TExceptionFlags flags, const std::string &extra,
                                                 TQXResultEx &r)
{
    ExceptionReportAt(__builtin_return_address(0), E, fileNote, module, callStack, flags, extra, r);
}

__attribute__((noinline)) void ExceptionReport(const std::exception &E, std::uint8_t module,
                                               const TQXCI *callStack, TExceptionFlags flags,
                                               const std::string &extra, TQXResultEx &r)
{
    ExceptionReportAt(__builtin_return_address(0), E, {}, module, callStack, flags, extra, r);
}

} // namespace support

#pragma once
// Exception reports: every fallible operation catches exceptions at its
// boundary and hands them here. The report turns the exception into a result
// record with code 4095 of the caller's module, describes where it happened
// (from the linker map file beside the module when there is one, else by
// naming the module), traces it at level 1 through the global trace component
// and appends a report block to the component's error-report file.
//
// A report never throws: a failure to write the error-report file or to trace
// is itself traced (when possible) and the filled record is returned as usual.
#include "support/QXResult.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

namespace support {

class TQXCI;

// Flags of a report.
using TExceptionFlags = std::uint8_t;
inline constexpr TExceptionFlags efNoTrace = 1u << 0;      // no level-1 trace block
inline constexpr TExceptionFlags efNoErrorsFile = 1u << 1; // no block in the error-report file

// The version line of a report comes from the application's self-information;
// the application installs its source at start-up. Without one the line is
// "Ver." alone.
using TFileVersionSource = std::function<std::string(const std::string &fileName)>;
void SetFileVersionSource(TFileVersionSource source);
std::string ReportFileVersion(const std::string &fileName);

// ExceptionReportEx with an empty file note.
void ExceptionReport(const std::exception &E, std::uint8_t module, const TQXCI *callStack,
                     TExceptionFlags flags, const std::string &extra, TQXResultEx &r);
// The whole report: the record, the trace block, and the report block (with
// `fileNote` as a last line when not blank) appended to the error-report file.
void ExceptionReportEx(const std::exception &E, const std::string &fileNote, std::uint8_t module,
                       const TQXCI *callStack, TExceptionFlags flags, const std::string &extra,
                       TQXResultEx &r);
// The record and the trace block, no file.
void ExceptionToQXRX(const std::exception &E, std::uint8_t module, TExceptionFlags flags,
                     TQXResultEx &r);
// The description of where E was caught: `text` the line Exception: 'message',
// `detail` the class and unit, procedure and line from the map file, or the
// class and the module file. Both stay empty when the description itself
// fails; the caller then shows the inspection banner.
void DescribeException(const std::exception &E, std::string &text, std::string &detail);

// The same operations for an explicit code address. C++ keeps no address of
// a throw, so the public operations above use the address they are called
// from: the handler that caught the exception.
void ExceptionReportAt(const void *address, const std::exception &E, const std::string &fileNote,
                       std::uint8_t module, const TQXCI *callStack, TExceptionFlags flags,
                       const std::string &extra, TQXResultEx &r);
void ExceptionToQXRXAt(const void *address, const std::exception &E, std::uint8_t module,
                       TExceptionFlags flags, TQXResultEx &r);
void DescribeExceptionAt(const void *address, const std::exception &E, std::string &text,
                         std::string &detail);

// Lines 1-7 of the report block for the record `r`: "=" line, time stamp,
// program file, "Ver." + version, "=" line, the record as text, and the
// call-stack dump between empty lines when a tracer is given. CR LF between
// lines, none after the last.
std::string ReportBlock(const TQXResultEx &r, const TQXCI *callStack);

} // namespace support

#include "support/QX_VisualTraceCore.h"

#include "platform/core/Exceptions.h"
#include "platform/core/FileWrite.h"
#include "platform/core/IniFile.h"
#include "platform/core/ProgramPath.h"
#include "support/QX_TraceFiles.h"
#include "support/TextRoutines.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <unistd.h>

namespace support {

const TTrcCls tcCalledFunctionsCls{"tcCalledFunctions"};

std::atomic<TVisualTraceCore *> GlobalTrace{nullptr};
std::atomic<bool> TraceDestroying{false};

void TraceGlobal(int level, const std::string &text) noexcept
{
    try {
        if (TVisualTraceCore *trace = GlobalTrace.load())
            trace->Add(level, {}, text);
    } catch (...) {
    }
}

std::string ClassKey(TTrcClsRef cls)
{
    if (!cls || !cls->ClassName)
        return {};
    std::string name = cls->ClassName;
    return name.size() > 2 ? name.substr(2) : std::string();
}

namespace {

void IgnoreBrokenPipes()
{
    // A reader that goes away must not end the program; writes then fail
    // with EPIPE, which the flush drops.
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

} // namespace

void WriteLinesToFd(int fd, const std::vector<std::string> &lines)
{
    std::string data;
    for (const auto &line : lines) {
        data += line;
        data += '\n';
    }
    size_t done = 0;
    if (const int err = platform::WriteAll(fd, data.data(), data.size(), done))
        throw platform::MakeOSError(err, "standard output");
}

TVisualTraceCore::TVisualTraceCore()
{
    TraceDestroying = false;
    const std::string program = platform::ProgramFileName();
    iniFileName_ = platform::ChangeFileExt(program, ".ini");
    iniSection_ = "Trace";
    iniClsSection_ = "TraceClasses";
    // Set without the setter: a new component creates no folders.
    dataFileName_ = platform::ChangeFileExt(program, ".txt");
}

TVisualTraceCore::~TVisualTraceCore()
{
    Shutdown();
}

void TVisualTraceCore::ApplyDefaults()
{
    SetUserCanChange(true);
    SetCharPerLine(20);
    SetUseIniFile(false);
    SetToScreen(false);
    SetToStandardOutput(false);
    SetToFile(false);
    SetScroll(true);
    SetInteractive(true);
    SetShowLevel(false);
}

void TVisualTraceCore::Shutdown() noexcept
{
    TraceDestroying = true;
    TVisualTraceCore *self = this;
    GlobalTrace.compare_exchange_strong(self, nullptr);
    if (view_)
        view_->StopFlushTimer();
    std::lock_guard<std::mutex> guard(lock_);
    if (shutDown_)
        return;
    shutDown_ = true;
    // What is still pending would be lost with the component: the trace
    // window goes with it, but the file and standard output still take it.
    if (!pending_.empty() || !fileRetry_.empty())
        FlushLocked(false);
    view_ = nullptr;
}

// --- properties -------------------------------------------------------------

void TVisualTraceCore::SetInteractive(bool on)
{
    interactive_ = on;
    if (view_)
        view_->SetInteractive(on);
}

void TVisualTraceCore::SetCharPerLine(int chars)
{
    charPerLine_ = std::max(chars, 1);
}

void TVisualTraceCore::SetCurrentLevel(int level)
{
    level = EnsureInRange(0, level, MaxTraceLevel);
    currentLevel_ = static_cast<TLevel>(level);
    if (view_) {
        view_->SetLevelCaption(level);
        view_->MirrorLevel(level);
    }
}

void TVisualTraceCore::SetToScreen(bool on)
{
    toScreen_ = on;
    if (view_)
        view_->MirrorScreen(on);
}

void TVisualTraceCore::SetToStandardOutput(bool on)
{
    if (on)
        IgnoreBrokenPipes();
    toStandardOutput_ = on;
}

void TVisualTraceCore::SetToFile(bool on)
{
    toFile_ = on;
    if (view_)
        view_->MirrorFile(on);
}

void TVisualTraceCore::SetScroll(bool on)
{
    scroll_ = on;
    if (view_)
        view_->MirrorScroll(on);
}

std::string TVisualTraceCore::DataFileName() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return dataFileName_;
}

void TVisualTraceCore::SetDataFileName(const std::string &name)
{
    // A name without a folder lives in the working folder, which exists.
    const std::string folder = platform::ExtractFilePath(name);
    if (!folder.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
    }
    std::lock_guard<std::mutex> guard(lock_);
    dataFileName_ = name;
}

std::string TVisualTraceCore::INIFileName() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return iniFileName_;
}

void TVisualTraceCore::SetINIFileName(const std::string &name)
{
    std::lock_guard<std::mutex> guard(lock_);
    iniFileName_ = name;
}

std::string TVisualTraceCore::INISection() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return iniSection_;
}

void TVisualTraceCore::SetINISection(const std::string &section)
{
    std::lock_guard<std::mutex> guard(lock_);
    iniSection_ = section;
}

std::string TVisualTraceCore::INIClsSection() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return iniClsSection_;
}

void TVisualTraceCore::SetINIClsSection(const std::string &section)
{
    std::lock_guard<std::mutex> guard(lock_);
    iniClsSection_ = section;
}

void TVisualTraceCore::SetUserCanChange(bool on)
{
    userCanChange_ = on;
    if (view_)
        view_->SetUserCanChange(on);
}

void TVisualTraceCore::SetStandardOutputSink(TTraceLineSink sink)
{
    std::lock_guard<std::mutex> guard(lock_);
    stdoutSink_ = std::move(sink);
}

std::vector<std::string> TVisualTraceCore::PendingLines() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return pending_;
}

std::vector<std::string> TVisualTraceCore::FileRetryLines() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return fileRetry_;
}

std::string TVisualTraceCore::CurrentFileName() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return currentFileName_;
}

// --- adding lines -----------------------------------------------------------

void TVisualTraceCore::Activate()
{
    active_ = true;
    if (useIniFile_) {
        readingIni_ = true;
        ReadIni();
        WriteIni();
        readingIni_ = false;
    }
    if (view_)
        view_->ToggleSettings();
}

void TVisualTraceCore::Add(int level, const TTrcClsList &classes, const std::string &text,
                           bool unlimited)
{
    if (!ClassesEnabled(classes))
        return;
    std::lock_guard<std::mutex> guard(lock_);
    AddLinesLocked(level, text, unlimited);
}

void TVisualTraceCore::AddFramedCls(int level, const TTrcClsList &classes,
                                    const std::string &text, char frameChar)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!ClassesEnabled(classes))
        return;
    const std::string separator(3 * static_cast<size_t>(charPerLine_.load()), frameChar);
    AddLinesLocked(level, separator, false);
    AddLinesLocked(level, text, false);
    AddLinesLocked(level, separator, false);
}

void TVisualTraceCore::AddFramed(int level, const std::string &text, char frameChar)
{
    AddFramedCls(level, {}, text, frameChar);
}

void TVisualTraceCore::AddLinesLocked(int level, const std::string &text, bool unlimited)
{
    if (!active_ || shutDown_ || level < 0 || level > currentLevel_ ||
        !(toScreen_ || toFile_ || toStandardOutput_))
        return;

    int lineCount = 0;
    bool truncated = false;
    const size_t firstLineMark = pending_.size() + 1;
    // Lines of a burst share their millisecond: format its stamp once.
    const platform::DateTime now = platform::Now();
    if (!(now == stampTime_) || stamp_.empty()) {
        stampTime_ = now;
        stamp_ = TraceStamp(now);
    }
    std::string prefix = showLevel_ ? std::to_string(level) : std::string();
    prefix += ' ';
    prefix += stamp_;
    prefix += ' ';
    const std::string continuation(prefix.size(), ' ');
    const size_t width = 3 * static_cast<size_t>(std::max(charPerLine_.load(), 1));

    std::string line;
    bool wrapped = false;
    bool lastWasCR = false;
    auto queue = [&]() {
        if (!unlimited && lineCount >= TraceMaxLinesPerAdd) {
            truncated = true;
            return false;
        }
        pending_.push_back(prefix + line);
        ++lineCount;
        if (pending_.size() == firstLineMark)
            prefix = continuation;
        return true;
    };

    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        bool isBreak = false;
        if (c == '\r') {
            isBreak = true;
            lastWasCR = true;
        } else if (c == '\n') {
            if (lastWasCR)
                continue;
            isBreak = true;
        } else {
            lastWasCR = false;
        }
        if (isBreak) {
            if (!wrapped && !queue())
                break;
            wrapped = false;
            line.clear();
            continue;
        }
        wrapped = false;
        // Take the run of ordinary characters up to the next break, the
        // wrapping width or the end of the text at once.
        size_t limit = text.size();
        if (!unlimited)
            limit = std::min(limit, i + (width - line.size()));
        size_t end = i + 1;
        while (end < limit && text[end] != '\r' && text[end] != '\n')
            ++end;
        line.append(text, i, end - i);
        i = end - 1;
        if ((!unlimited && line.size() >= width) || i + 1 == text.size()) {
            if (!queue())
                break;
            line.clear();
            wrapped = true;
        }
    }
    if (truncated)
        pending_.push_back(TraceTruncatedLine);

    if (view_)
        view_->StartFlushTimer();
    else
        flushRequested_ = true;
}

// --- flushing ---------------------------------------------------------------

void TVisualTraceCore::FlushTimerFired() noexcept
{
    if (active_ && !TraceDestroying)
        Flush();
}

void TVisualTraceCore::Flush() noexcept
{
    std::lock_guard<std::mutex> guard(lock_);
    if (shutDown_)
        return;
    FlushLocked(true);
}

void TVisualTraceCore::FlushLocked(bool toScreen) noexcept
{
    flushRequested_ = false;
    const platform::DateTime now = platform::Now();
    try {
        if (view_ && toScreen)
            view_->ListSetHorizontalExtent(3000);
        if (now.Year != lastFlush_.Year || now.Month != lastFlush_.Month ||
            now.Day != lastFlush_.Day)
            currentFileName_ = DailyFileNameAt(now, false);
    } catch (...) {
    }
    // Each output is served on its own: a failing one neither keeps the
    // others from their lines nor makes them receive lines twice.
    if (toScreen && toScreen_ && view_) {
        try {
            FlushToScreenLocked();
        } catch (...) {
        }
    }
    if (toFile_) {
        try {
            FlushToFileLocked();
        } catch (...) {
        }
    }
    if (toStandardOutput_ && !pending_.empty()) {
        try {
            if (stdoutSink_)
                stdoutSink_(pending_);
            else
                WriteLinesToFd(STDOUT_FILENO, pending_);
        } catch (...) {
        }
    }
    pending_.clear();
    lastFlush_ = now;
}

void TVisualTraceCore::FlushToScreenLocked()
{
    size_t first = 0;
    size_t remaining = pending_.size();
    if (remaining >= static_cast<size_t>(TraceListMaxAddLines)) {
        view_->ListClear();
        first = remaining - TraceListMaxAddLines;
        remaining = TraceListMaxAddLines;
    }
    // Line by line, the list drops its first 100 lines whenever an added line
    // takes it above 2100; adding in runs up to that point does the same.
    while (remaining > 0) {
        const int count = view_->ListCount();
        const size_t room = count <= TraceListMaxLines
                                ? static_cast<size_t>(TraceListMaxLines - count) + 1
                                : 1;
        const size_t n = std::min(room, remaining);
        view_->ListAppend(pending_, first, n);
        first += n;
        remaining -= n;
        if (view_->ListCount() > TraceListMaxLines)
            view_->ListDeleteFirst(TraceListDropLines);
    }
    if (scroll_)
        view_->ListScrollToLast();
}

void TVisualTraceCore::FlushToFileLocked()
{
    if (fileRetry_.empty() && pending_.empty())
        return;
    // The lines to write: those that failed before, then the pending ones.
    const size_t lineCount = fileRetry_.size() + pending_.size();
    auto lineAt = [this](size_t i) -> const std::string & {
        return i < fileRetry_.size() ? fileRetry_[i] : pending_[i - fileRetry_.size()];
    };
    size_t bytes = 0;
    for (size_t i = 0; i < lineCount; ++i)
        bytes += lineAt(i).size() + 2;
    std::string data;
    data.reserve(bytes);
    for (size_t i = 0; i < lineCount; ++i) {
        data += lineAt(i);
        data += "\r\n";
    }

    size_t written = 0;
    try {
        const std::string folder = platform::ExtractFilePath(currentFileName_);
        if (!folder.empty()) {
            std::error_code ec;
            std::filesystem::create_directories(folder, ec);
        }
        AppendToFile(currentFileName_, data, written);
    } catch (...) {
        // Keep what did not reach the file, capped so that a file that
        // never becomes writable cannot eat the memory.
        size_t done = 0;
        for (size_t end = 0; done < lineCount; ++done) {
            end += lineAt(done).size() + 2;
            if (end > written)
                break;
        }
        std::vector<std::string> lines;
        lines.reserve(lineCount - done);
        for (size_t i = done; i < lineCount; ++i)
            lines.push_back(lineAt(i));
        if (lines.size() > TraceFileRetryMaxLines) {
            const size_t drop = lines.size() - (TraceFileRetryMaxLines - 1);
            lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(drop));
            lines.insert(lines.begin(), TraceTruncatedLine);
        }
        fileRetry_ = std::move(lines);
        throw;
    }
    fileRetry_.clear();
}

// --- frame services ---------------------------------------------------------

void TVisualTraceCore::ControlsToComponent()
{
    if (!view_)
        return;
    const TTraceView::Controls c = view_->ReadControls();
    view_->SetLevelCaption(c.Level);
    currentLevel_ = static_cast<TLevel>(EnsureInRange(0, c.Level, MaxTraceLevel));
    toScreen_ = c.Screen;
    toFile_ = c.File;
    scroll_ = c.Scroll;
    if (!readingIni_ && useIniFile_)
        WriteIni();
}

void TVisualTraceCore::SaveListBox()
{
    if (!active_ || !view_)
        return;
    std::string data;
    for (const auto &line : view_->ListLines()) {
        data += line;
        data += "\r\n";
    }
    platform::AtomicWriteFile(DailyFileName(true), data);
}

void TVisualTraceCore::ClearListBox()
{
    if (active_ && view_)
        view_->ListClear();
}

// --- trace classes ----------------------------------------------------------

bool TVisualTraceCore::ClassesEnabled(const TTrcClsList &classes) const
{
    if (classes.empty())
        return true;
    std::lock_guard<std::mutex> guard(clsLock_);
    for (TTrcClsRef cls : classes)
        if (!IsClassEnabledLocked(cls))
            return false;
    return true;
}

bool TVisualTraceCore::IsClassEnabled(TTrcClsRef cls) const
{
    std::lock_guard<std::mutex> guard(clsLock_);
    return IsClassEnabledLocked(cls);
}

bool TVisualTraceCore::IsClassEnabledLocked(TTrcClsRef cls) const
{
    for (const auto &e : classes2_)
        if (e.Cls == cls && !e.Enabled)
            return false;
    for (const auto &e : classes_)
        if (e.Cls == cls && !e.Enabled)
            return false;
    return true;
}

void TVisualTraceCore::ClassChecked(int index, bool checked)
{
    {
        std::lock_guard<std::mutex> guard(clsLock_);
        if (index < 0 || static_cast<size_t>(index) >= classes_.size())
            return;
        classes_[static_cast<size_t>(index)].Enabled = checked;
    }
    WriteClassesIni();
}

void TVisualTraceCore::AddClass(TTrcClsRef cls, const std::string &text, bool enabled)
{
    if (!cls)
        return;
    if (useIniFile_) {
        try {
            platform::TMemIniFile ini(INIFileName());
            enabled = ini.ReadBool(INIClsSection(), ClassKey(cls), enabled);
        } catch (...) {
        }
    }
    {
        std::lock_guard<std::mutex> guard(clsLock_);
        classes_.push_back({cls, text, enabled});
    }
    if (view_)
        view_->AddClassItem(text.empty() ? ClassKey(cls) : text, enabled);
}

TVisualTraceClsArray TVisualTraceCore::ClassList() const
{
    std::lock_guard<std::mutex> guard(clsLock_);
    return classes_;
}

TVisualTraceClsArray TVisualTraceCore::SecondClassList() const
{
    std::lock_guard<std::mutex> guard(clsLock_);
    return classes2_;
}

void TVisualTraceCore::SetSecondClassList(TVisualTraceClsArray list)
{
    std::lock_guard<std::mutex> guard(clsLock_);
    classes2_ = std::move(list);
}

} // namespace support

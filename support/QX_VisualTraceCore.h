#pragma once
// The trace component without its window: level and class filtering, line
// formatting and wrapping, the pending queue and the flush to the trace
// window, the daily data file and standard output, the trace file names and
// the trace INI settings.
//
// The window (TVisualTrace with its frame TfrVisualTrace) plugs in through
// TTraceView; without a view the component still queues and flushes to the
// file and standard output, which is what tests and headless tools use.
#include "platform/core/Clock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace support {

// Trace levels run from 0 (always) to 7 (most detailed).
using TLevel = std::uint8_t;
inline constexpr int MaxTraceLevel = 7;

// A trace class tags trace lines so that whole groups can be switched off.
// Lines carry references to static descriptors, never objects.
struct TTrcCls {
    const char *ClassName;
};
using TTrcClsRef = const TTrcCls *;
using TTrcClsList = std::vector<TTrcClsRef>;

// The one trace class of this system: call-stack frames entered and left.
extern const TTrcCls tcCalledFunctionsCls;
inline constexpr TTrcClsRef tcCalledFunctions = &tcCalledFunctionsCls;

// The class name from its third character on ("CalledFunctions"); the key of
// the class in the trace INI file.
std::string ClassKey(TTrcClsRef cls);

// One entry of a trace-class list.
struct TVisualTraceCls {
    TTrcClsRef Cls = nullptr;
    std::string Text;
    bool Enabled = true;
};
using TVisualTraceClsArray = std::vector<TVisualTraceCls>;

// Queued, without a prefix, after the lines that fit when a text is cut.
inline constexpr const char *TraceTruncatedLine = "!!! Too many lines.  Data truncated. !!!";

// Limits of one add, of the trace window and of the file retry queue.
inline constexpr int TraceMaxLinesPerAdd = 300;
inline constexpr int TraceListMaxLines = 2100;
inline constexpr int TraceListDropLines = 100;
inline constexpr int TraceListMaxAddLines = 2000;
inline constexpr size_t TraceFileRetryMaxLines = 10000;

// What the component needs of its window. All calls but StartFlushTimer come
// from the GUI thread.
class TTraceView {
public:
    virtual ~TTraceView() = default;

    // The trace list.
    virtual void ListSetHorizontalExtent(int pixels) = 0;
    virtual int ListCount() const = 0;
    virtual void ListClear() = 0;
    virtual void ListAppend(const std::vector<std::string> &lines, size_t first, size_t count) = 0;
    virtual void ListDeleteFirst(int count) = 0;
    virtual void ListScrollToLast() = 0;
    virtual std::vector<std::string> ListLines() const = 0;

    // The one-shot flush timer: starts it unless it is already running, so a
    // steady stream of adds still flushes. May be called from any thread.
    virtual void StartFlushTimer() = 0;
    virtual void StopFlushTimer() = 0;

    // Bringing the controls into line with the component's properties. Like a
    // user's change, each fires the control's change handler when attached.
    virtual void MirrorLevel(int level) = 0;
    virtual void MirrorScreen(bool on) = 0;
    virtual void MirrorFile(bool on) = 0;
    virtual void MirrorScroll(bool on) = 0;
    virtual void SetInteractive(bool on) = 0;
    virtual void SetUserCanChange(bool on) = 0;
    virtual void ToggleSettings() = 0;
    virtual void AddClassItem(const std::string &text, bool checked) = 0;

    struct Controls {
        int Level = 0;
        bool Screen = false, File = false, Scroll = true;
    };
    virtual Controls ReadControls() const = 0;
    virtual void SetLevelCaption(int level) = 0;
};

// Receives the lines of a flush for standard output; throws on failure.
using TTraceLineSink = std::function<void(const std::vector<std::string> &lines)>;

class TVisualTraceCore {
public:
    TVisualTraceCore();
    virtual ~TVisualTraceCore();
    TVisualTraceCore(const TVisualTraceCore &) = delete;
    TVisualTraceCore &operator=(const TVisualTraceCore &) = delete;

    // --- properties ---
    bool Interactive() const { return interactive_; }
    void SetInteractive(bool on);
    int CharPerLine() const { return charPerLine_; }
    // Values below 1 count as 1.
    void SetCharPerLine(int chars);
    bool Active() const { return active_; }
    TLevel CurrentLevel() const { return currentLevel_; }
    // Clamped to 0..7.
    void SetCurrentLevel(int level);
    bool ToScreen() const { return toScreen_; }
    void SetToScreen(bool on);
    bool ToStandardOutput() const { return toStandardOutput_; }
    void SetToStandardOutput(bool on);
    bool ToFile() const { return toFile_; }
    void SetToFile(bool on);
    bool Scroll() const { return scroll_; }
    void SetScroll(bool on);
    std::string DataFileName() const;
    // Creates the missing folders of the name first; a folder that cannot be
    // created is not reported (the flush then fails and keeps the lines).
    void SetDataFileName(const std::string &name);
    std::string INIFileName() const;
    void SetINIFileName(const std::string &name);
    std::string INISection() const;
    void SetINISection(const std::string &section);
    std::string INIClsSection() const;
    void SetINIClsSection(const std::string &section);
    bool UseIniFile() const { return useIniFile_; }
    void SetUseIniFile(bool on) { useIniFile_ = on; }
    bool UserCanChange() const { return userCanChange_; }
    void SetUserCanChange(bool on);
    bool ShowLevel() const { return showLevel_; }
    void SetShowLevel(bool on) { showLevel_ = on; }

    // --- operation ---
    // Accepts lines from now on; reads and rewrites the INI settings when
    // UseIniFile is set; toggles the settings panel (a first call hides it).
    void Activate();
    // Queues Text when every class of Classes is enabled (an empty list passes).
    void Add(int level, const TTrcClsList &classes, const std::string &text,
             bool unlimited = false);
    // Text between two separators of 3 x CharPerLine copies of frameChar.
    void AddFramedCls(int level, const TTrcClsList &classes, const std::string &text,
                      char frameChar);
    void AddFramed(int level, const std::string &text, char frameChar);
    // Sends the pending lines to every output that is on. Never throws.
    void Flush() noexcept;
    // The flush timer's work: flushes while active and not being destroyed.
    void FlushTimerFired() noexcept;

    // --- trace files and settings ---
    // Folder, date stamp "_" base name, with WithTime "_at_" and the
    // date-time stamp with "-" between all parts, then the extension.
    std::string DailyFileName(bool withTime) const;
    // The daily name without time with ".ERRORS" before the extension.
    std::string ErrorsFileName() const;
    void ReadIni() noexcept;
    void WriteIni() noexcept;
    void WriteClassesIni() noexcept;

    // --- frame services ---
    void ControlsToComponent();
    // Saves the trace list, CR LF after each line, to DailyFileName(true);
    // raises EFCreateError when the file cannot be written.
    void SaveListBox();
    void ClearListBox();
    // The check handler of the class list: entry `index` takes `checked`.
    void ClassChecked(int index, bool checked);

    // --- trace classes ---
    bool ClassesEnabled(const TTrcClsList &classes) const;
    bool IsClassEnabled(TTrcClsRef cls) const;
    // Registers a trace class in the class list and the frame's check list;
    // with UseIniFile its state comes from the class section (default `enabled`).
    void AddClass(TTrcClsRef cls, const std::string &text, bool enabled = true);
    TVisualTraceClsArray ClassList() const;
    TVisualTraceClsArray SecondClassList() const;
    void SetSecondClassList(TVisualTraceClsArray list);

    // --- wiring and inspection ---
    void SetView(TTraceView *view) { view_ = view; }
    TTraceView *View() const { return view_; }
    // Replaces the standard-output writer (an empty sink restores it).
    void SetStandardOutputSink(TTraceLineSink sink);
    std::vector<std::string> PendingLines() const;
    // Lines that failed to reach the data file and wait for the next flush.
    std::vector<std::string> FileRetryLines() const;
    // The daily data file in use (empty before the first flush).
    std::string CurrentFileName() const;
    // Set when an add asked for a flush while no view could time it.
    bool FlushRequested() const { return flushRequested_; }

protected:
    // Applies the property values of a new component through the setters,
    // so that an attached view mirrors them.
    void ApplyDefaults();
    // Stops the timer and sends what is still pending to the file and
    // standard output; the derived window calls it before its view goes.
    void Shutdown() noexcept;

private:
    void AddLinesLocked(int level, const std::string &text, bool unlimited);
    void FlushLocked(bool toScreen) noexcept;
    void FlushToScreenLocked();
    void FlushToFileLocked();
    std::string DailyFileNameAt(const platform::DateTime &now, bool withTime) const;
    bool IsClassEnabledLocked(TTrcClsRef cls) const;

    TTraceView *view_ = nullptr;
    TTraceLineSink stdoutSink_;

    mutable std::mutex lock_; // pending lines, file state, names
    std::vector<std::string> pending_;
    std::vector<std::string> fileRetry_;
    std::string currentFileName_;
    platform::DateTime lastFlush_{};
    platform::DateTime stampTime_{};
    std::string stamp_;
    bool shutDown_ = false;

    mutable std::mutex clsLock_;
    TVisualTraceClsArray classes_;
    TVisualTraceClsArray classes2_;

    std::atomic<bool> active_{false};
    std::atomic<bool> readingIni_{false};
    std::atomic<bool> flushRequested_{false};
    std::atomic<bool> useIniFile_{false};
    std::atomic<TLevel> currentLevel_{0};
    std::atomic<bool> toFile_{false};
    std::atomic<bool> toScreen_{false};
    std::atomic<bool> toStandardOutput_{false};
    std::atomic<bool> userCanChange_{true};
    std::atomic<int> charPerLine_{20};
    std::atomic<bool> scroll_{true};
    std::atomic<bool> interactive_{true};
    std::atomic<bool> showLevel_{false};
    std::string dataFileName_;
    std::string iniFileName_;
    std::string iniSection_;
    std::string iniClsSection_;
};

// The process's trace component; null when there is none. A component that
// is destroyed clears it when it points to that component.
extern std::atomic<TVisualTraceCore *> GlobalTrace;

// Adds `text` at `level` to the process's trace component, if there is one;
// never throws (a diagnostic line must not break what it reports on).
void TraceGlobal(int level, const std::string &text) noexcept;

// Shared by all components: set while one is being destroyed; the flush
// timer then flushes nothing. Creating a component clears it.
extern std::atomic<bool> TraceDestroying;

// The trace data file of the program `programFileName` (its path with the
// extension ".Trace.txt"); when the program's folder is not writable, the
// same file name in the state folder (TraceStateFolder()).
std::string TraceDataFileNameFor(const std::string &programFileName);
// TraceDataFileNameFor(the running program).
std::string ProgramTraceDataFileName();
// $XDG_STATE_HOME/korvane-screenshot/ (a relative or missing XDG_STATE_HOME
// means ~/.local/state), with a trailing "/".
std::string TraceStateFolder();

// Writes each line and a line feed to file descriptor `fd`; throws
// EInOutError on failure (a closed pipe included).
void WriteLinesToFd(int fd, const std::vector<std::string> &lines);

} // namespace support

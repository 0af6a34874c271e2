#include "support/QX_CallStack.h"

#include "support/QX_VisualTraceCore.h"
#include "support/TextRoutines.h"

namespace support {

namespace {

constexpr int CallTraceLevel = 5;

TVisualTraceCore *CallTrace()
{
    TVisualTraceCore *trace = GlobalTrace;
    return trace && trace->CurrentLevel() >= CallTraceLevel ? trace : nullptr;
}

} // namespace

void TQXCI::EnterEx(const std::string &name, const std::string &args, bool quiet) noexcept
{
    try {
        auto item = std::make_unique<TQXCI_Item>();
        item->Name = name;
        item->Details.push_back(args);
        frames_.push_back(std::move(item));
        if (quiet)
            return;
        if (TVisualTraceCore *trace = CallTrace()) {
            std::string text = "-> " + name;
            if (!IsBlank(args))
                text += " " + InParens(args);
            trace->Add(CallTraceLevel, {tcCalledFunctions}, text);
        }
    } catch (...) {
        // Tracing must never disturb the routine being traced.
    }
}

void TQXCI::EnterMethod(const std::string &className, const std::string &methodName,
                        const std::string &args) noexcept
{
    try {
        EnterEx(className + "." + methodName, args, false);
    } catch (...) {
    }
}

void TQXCI::Leave(bool quiet) noexcept
{
    if (frames_.empty())
        return;
    if (!quiet) {
        try {
            if (TVisualTraceCore *trace = CallTrace())
                trace->Add(CallTraceLevel, {tcCalledFunctions}, "<- " + frames_.back()->Name);
        } catch (...) {
        }
    }
    frames_.pop_back();
}

void TQXCI::Dump(std::string &s) const
{
    const std::string rule(80, '=');
    std::vector<std::string> lines{rule, "Function call stack", rule, ""};
    std::string branch;
    std::string pad = "|   ";
    for (std::size_t i = 0; i < frames_.size(); ++i) {
        const TQXCI_Item &frame = *frames_[i];
        lines.push_back(branch + InQuotes(frame.Name));
        for (const auto &detail : frame.Details)
            lines.push_back(PrefixLines(pad, detail));
        lines.push_back(pad);
        branch = i == 0 ? std::string("|-- ") : "    " + branch;
        pad = "    " + pad;
    }
    s.clear();
    for (const auto &line : lines) {
        s += line;
        s += CRLF;
    }
}

std::string TQXCI::Dump() const
{
    std::string s;
    Dump(s);
    return s;
}

} // namespace support

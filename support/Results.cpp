#include "support/Results.h"

#include "support/BuiltInTexts.h"
#include "support/TextRoutines.h"
#include "support/dm_LNG.h"

#include <array>
#include <mutex>

namespace support {

namespace {

// The messages of the codes this system produces, in scan order (code 0
// first). Row codes are generic: a listed module finds them by message number.
struct RowSpec {
    std::int32_t number;
    std::int32_t textId;
};
constexpr std::array<RowSpec, 3> kRows{{
    {0, txtOk},
    {qxrDirectoryDoesNotExist, txtDirectoryDoesNotExist},
    {qxrException, txtSystemError},
}};

// Room reserved before the fill, as the full catalogue of the shared library
// needs; shrunk to the rows filled.
constexpr std::size_t kReservedRows = 1000;

// Re-entrant: FormatResultCode holds it while the lookup builds the table.
std::recursive_mutex &TableLock()
{
    static std::recursive_mutex m;
    return m;
}

struct TableState {
    TQXR_Descrs rows;
    bool built = false;
    bool building = false;
};

TableState &State()
{
    static TableState s;
    return s;
}

} // namespace

void BuildResultTable()
{
    std::lock_guard<std::recursive_mutex> guard(TableLock());
    TableState &st = State();
    // `building` stops a text source that asks for a result text from
    // starting a second build inside the first.
    if (st.built || st.building)
        return;
    st.building = true;
    struct BuildingReset {
        TableState &st;
        ~BuildingReset() { st.building = false; }
    } reset{st};

    // Filled aside and published only when complete: a text source that
    // throws must not leave a half-built catalogue marked as built.
    TQXR_Descrs rows;
    rows.reserve(kReservedRows);
    for (const RowSpec &spec : kRows) {
        TQXR_Descr row;
        row.Code = ComposeCode(spec.number, 0);
        row.Text = LngGetText(spec.textId);
        rows.push_back(std::move(row));
    }
    rows.shrink_to_fit();
    st.rows = std::move(rows);
    st.built = true;
}

void ClearResultTable()
{
    std::lock_guard<std::recursive_mutex> guard(TableLock());
    TableState &st = State();
    if (st.building)
        return;
    st.rows.clear();
    st.rows.shrink_to_fit();
    st.built = false;
}

TQXR_Descrs ResultTable()
{
    std::lock_guard<std::recursive_mutex> guard(TableLock());
    BuildResultTable();
    return State().rows;
}

bool RowMatches(const TQXR_Descr &row, std::int32_t code, bool listed)
{
    if (row.Code != qxrRangeRow) {
        if (listed && ModuleOf(row.Code) == 0)
            return (static_cast<std::uint32_t>(row.Code) & 0xFFFu) == (static_cast<std::uint32_t>(code) & 0xFFFu);
        return row.Code == code;
    }
    const auto u = static_cast<std::uint32_t>(code);
    return static_cast<std::uint32_t>(row.Low) <= u && u <= static_cast<std::uint32_t>(row.High);
}

bool FindResultText(std::int32_t code, std::string &text)
{
    std::lock_guard<std::recursive_mutex> guard(TableLock());
    BuildResultTable();
    const bool listed = IsListedModule(ModuleOf(code));
    for (const TQXR_Descr &row : State().rows) {
        if (RowMatches(row, code, listed)) {
            text = row.Text;
            return true;
        }
    }
    return false;
}

std::string SeverityPrefix(std::int32_t code)
{
    switch (SeverityOf(code)) {
    case sevMessage:
        return LngGetText(txtMsg) + ": ";
    case sevWarning:
        return LngGetText(txtWarning) + ": ";
    case sevError:
        return LngGetText(txtErr) + ": ";
    default:
        return {};
    }
}

std::string FormatResultCode(std::int32_t code, bool noFallback, bool withSeverity, bool withCode)
{
    std::lock_guard<std::recursive_mutex> guard(TableLock());
    const std::string prefix = withSeverity ? SeverityPrefix(code) : std::string();
    std::string suffix;
    if (withCode && code != 0)
        suffix = " (" + CodeToHex(code) + ")";

    std::string text;
    FindResultText(code, text);
    if (!IsBlank(text))
        return prefix + text + suffix;
    if (noFallback)
        return {};
    return LngGetText(txtSystemError) + ": " + CodeToHex(code);
}

std::string CodeToText(std::int32_t code, bool withSeverity)
{
    return FormatResultCode(code, false, withSeverity, true);
}

std::string ResultToText(const TQXResultEx &r, TResultOptions options)
{
    const std::string sep = options.Has(roCRLF) ? std::string(CRLF) : std::string(" ");
    std::string text = options.Has(roDetail) ? JoinNonBlank(r.Text, r.Detail, sep) : r.Text;
    if (options.Has(roQuote) && !IsBlank(text))
        text = "'" + text + "'";
    if (options.Has(roSkipCodeWhenOK) && IsOK(r))
        return text;
    return JoinNonBlank(CodeToText(r.Code, options.Has(roSeverity)), text, sep);
}

std::string ResultToTextOpt(const TQXResultEx &r, bool crlf, bool quote, bool severity, bool detail)
{
    TResultOptions o;
    if (crlf)
        o = o | roCRLF;
    if (quote)
        o = o | roQuote;
    if (severity)
        o = o | roSeverity;
    if (detail)
        o = o | roDetail;
    return ResultToText(r, o);
}

} // namespace support

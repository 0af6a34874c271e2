#include "support/QXResult.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace support {

namespace {

constexpr std::array<std::uint8_t, 13> kListedModules{6, 8, 9, 17, 18, 19, 20, 21, 22, 23, 24, 15, 80};

std::uint32_t U(std::int32_t code)
{
    return static_cast<std::uint32_t>(code);
}

bool IsPlain(std::uint32_t u)
{
    if ((u & 0xFFFF0000u) != 0)
        return true;
    const std::uint32_t small = u >> 12;
    return small == 0 || small == 6 || small == 8 || small == 9;
}

template <std::size_t N>
bool EqualsOneOf(std::uint32_t u, const std::array<std::uint32_t, N> &list)
{
    return std::find(list.begin(), list.end(), u) != list.end();
}

template <std::size_t N>
bool SameAsOneOf(std::int32_t code, const std::array<std::uint32_t, N> &list)
{
    return std::any_of(list.begin(), list.end(),
                       [code](std::uint32_t n) { return SameCode(code, static_cast<std::int32_t>(n)); });
}

constexpr std::array<std::uint32_t, 24> kQuietCodes{
    0xA3AA, 0xA3AB, 0xA1AB, 0xA1AA, 0xA5AA, 0xA5AB, 0xA7AA, 0xA7AB, 0xA9AA, 0xA9AB, 0x3301, 0x3302,
    0x3401, 0x3400, 0x3600, 0,      0x2204, 0x8BF5, 0x8BF6, 0x0400, 0x222B, 0x223B, 0x2412, 0xA9AC};
constexpr std::array<std::uint32_t, 16> kQuietNumbers{
    0xBFF, 0xE3D, 0xE13, 0xE3B, 0xE3A, 0xE81, 0xE80, 0xE82,
    0xE85, 0xE84, 0xD16, 0xD17, 0xD18, 0xD1A, 0xD1B, 0xE1F};
constexpr std::array<std::uint32_t, 18> kSuccessNumbers{
    0xFF3, 0xFF5, 0xFFF, 0xBFF, 0xE2C, 0xB11, 0xB10, 0xFC0, 0xFC1,
    0xE30, 0xE31, 0xE32, 0xFF9, 0x010, 0x011, 0x013, 0x014, 0xE1D};
constexpr std::array<std::uint32_t, 13> kSuccessCodes{
    0x3050, 0x3051, 0x240D, 0x5D09, 0x1000, 0x2000, 0x5000, 0x7003, 0x7008, 0x7009, 0x700A, 0x7010, 0x7011};

} // namespace

bool CodeIsOK(std::int32_t code)
{
    return code == 0;
}

bool IsOK(const TQXResultEx &r)
{
    return CodeIsOK(r.Code);
}

void SetResult(std::int32_t code, TQXResultEx &r)
{
    r.Code = code;
    r.Text.clear();
    r.Detail.clear();
}

void ClearResult(TQXResultEx &r)
{
    SetResult(0, r);
}

void InitResult(TQXResultEx &r)
{
    r = TQXResultEx{};
}

std::int32_t ComposeCode(std::int32_t code, std::uint8_t module)
{
    const std::uint32_t u = U(code);
    if (u == 0 || (u & 0x1000u) != 0)
        return code;
    const std::uint32_t shift = module <= 15 ? 12 : 16;
    return static_cast<std::int32_t>((std::uint32_t{module} << shift) + (u & 0xFFFu));
}

std::uint8_t ModuleOf(std::int32_t code)
{
    const std::uint32_t u = U(code);
    if (u <= 0xFFFF)
        return static_cast<std::uint8_t>(u >> 12);
    return static_cast<std::uint8_t>((u >> 16) & 0xFF);
}

bool IsListedModule(std::uint8_t module)
{
    return std::find(kListedModules.begin(), kListedModules.end(), module) != kListedModules.end();
}

bool SameCode(std::int32_t a, std::int32_t b)
{
    const std::uint32_t ua = U(a), ub = U(b);
    return (ua & 0xFFFu) == (ub & 0xFFFu) && IsPlain(ua) && IsPlain(ub);
}

std::string CodeToHex(std::int32_t code)
{
    // Compared as unsigned: a negative code is a large-module code, not a
    // small one (-1 shows as FF.0FFF).
    const std::uint32_t u = U(code);
    char buf[16];
    if (u <= 0xFFFF)
        std::snprintf(buf, sizeof buf, "%.4X", static_cast<unsigned>(u));
    else
        std::snprintf(buf, sizeof buf, "%.2X.%.4X", static_cast<unsigned>((u >> 16) & 0xFF),
                      static_cast<unsigned>(u & 0xFFF));
    return buf;
}

int SeverityOf(std::int32_t code)
{
    const std::uint32_t u = U(code);
    if (EqualsOneOf(u, kQuietCodes) || SameAsOneOf(code, kQuietNumbers) || (u & 0xF000u) == 0xA000u)
        return sevOk;
    if (u == 0x480A || u == 0x2900)
        return sevMessage;
    if (SameAsOneOf(code, kSuccessNumbers) || EqualsOneOf(u, kSuccessCodes))
        return sevInfo;
    if (SameCode(code, 0xD10))
        return sevWarning;
    return sevError;
}

} // namespace support

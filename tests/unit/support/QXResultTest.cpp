// Result records and module-qualified result codes.
#include "support/QXResult.h"
#include <gtest/gtest.h>

using namespace support;

TEST(QXResultTest, ComposeAndSplitCodes)
{
    const struct { std::int32_t number; std::uint8_t module; std::int32_t code; } composed[] = {
        {4095, 80, 0x500FFF}, {3728, 6, 0x6E90}, {0, 80, 0},
        {0x1234, 80, 0x1234}, // bit 0x1000: never re-qualified
        {0x2345, 0, 0x345},
        {0xFFF, 15, 0xFFFF},  {0xFFF, 16, 0x100FFF}, // last small module, first large one
        {0xFFF, 255, 0xFF0FFF}, {-1, 80, -1},
    };
    for (const auto &c : composed)
        EXPECT_EQ(ComposeCode(c.number, c.module), c.code) << c.number << " " << int(c.module);
    // Composing twice keeps a small-module code only when bit 0x1000 is set.
    EXPECT_EQ(ComposeCode(ComposeCode(0xE90, 80), 80), 0x500E90);
    EXPECT_EQ(ModuleOf(0xFFF) + ModuleOf(-1), 0xFF);
    for (int m = 1; m <= 255; ++m)
        EXPECT_EQ(ModuleOf(ComposeCode(0xABC, static_cast<std::uint8_t>(m))), m) << m;
}

TEST(QXResultTest, SameCode)
{
    // Module 3 and 15 codes are not plain, not even the same as themselves; negative codes are plain.
    const struct { std::int32_t a, b; bool same; } cases[] = {
        {0x500FFF, 4095, true}, {0x3FFF, 0x3FFF, false}, {0x6FFF, 0x8FFF, true},
        {0x500FFE, 4095, false}, {-1, 0xFFF, true},    {0xFFFF, 0xFFF, false}};
    for (const auto &c : cases)
        EXPECT_EQ(SameCode(c.a, c.b), c.same) << std::hex << c.a << " " << c.b;
    // Success depends on the code alone.
    EXPECT_TRUE(IsOK(TQXResultEx{0, "saved", ""}) && !IsOK(TQXResultEx{0x500FFF, "", ""}) && !CodeIsOK(-1));
}

TEST(QXResultTest, CodeToHex)
{
    const std::pair<std::int32_t, const char *> cases[] = {
        {0xE90, "0E90"}, {0xFFFF, "FFFF"}, {0x10000, "01.0000"},
        {-1, "FF.0FFF"}, {INT32_MIN, "00.0000"}, // unsigned: a negative code is never a small one
        {0x50AE90, "50.0E90"},                   // bits 12..15 of a large code do not show
    };
    for (const auto &[code, hex] : cases)
        EXPECT_EQ(CodeToHex(code), hex) << code;
}

TEST(QXResultTest, SeverityClasses)
{
    const std::pair<std::int32_t, int> cases[] = {
        {0, 4}, {0x500E90, 5}, {0xA123, 4}, {0x2900, 1}, {0xD10, 3},
        {0x6D10, 3}, {0x3D10, 5}, // module 6 is plain, module 3 is not
        // Caught exceptions in plain form are class 2 whatever the module, but not of a
        // small module that is not plain.
        {0x8FFF, 2}, {0x100FFF, 2}, {-1, 2}, {0x3FFF, 5},
        {0xBFF, 4}, {0x500BFF, 4}, // in both the class-4 and the class-2 list: class 4 wins
        {0xAFFF, 4},               // the 0xA000 block beats everything after it
        {0x1000, 2}, {0x7011, 2}, {0x7012, 5}, // exact class-2 codes, not by message number
        {0x3301, 4}, {0x3303, 5}, {ComposeCode(0xE1F, 80), 4}, // exact class-4 codes of other modules
    };
    for (const auto &[code, severity] : cases)
        EXPECT_EQ(SeverityOf(code), severity) << std::hex << code;
}

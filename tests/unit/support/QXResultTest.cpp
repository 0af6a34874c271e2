// Result records and module-qualified result codes.
#include "support/QXResult.h"

#include <gtest/gtest.h>

using namespace support;

TEST(QXResultTest, RecordOperations)
{
    TQXResultEx r{0x500FFF, "text", "detail"};
    EXPECT_FALSE(IsOK(r));
    EXPECT_FALSE(CodeIsOK(r.Code));
    SetResult(0x500E90, r);
    EXPECT_EQ(r.Code, 0x500E90);
    EXPECT_EQ(r.Text, "");
    EXPECT_EQ(r.Detail, "");

    r.Text = "a";
    r.Detail = "b";
    ClearResult(r);
    EXPECT_TRUE(IsOK(r));
    EXPECT_EQ(r.Text, "");
    EXPECT_EQ(r.Detail, "");

    r = {-1, "a", "b"};
    InitResult(r);
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(r.Text, "");
    EXPECT_EQ(r.Detail, "");

    // Success depends on the code alone.
    r.Text = "saved";
    EXPECT_TRUE(IsOK(r));
    EXPECT_TRUE(CodeIsOK(0));
    EXPECT_FALSE(CodeIsOK(-1));
}

TEST(QXResultTest, ComposeCode)
{
    EXPECT_EQ(ComposeCode(4095, 80), 0x500FFF);
    EXPECT_EQ(ComposeCode(3728, 80), 0x500E90);
    EXPECT_EQ(ComposeCode(3728, 6), 0x6E90);
    EXPECT_EQ(ComposeCode(0, 80), 0);
    EXPECT_EQ(ComposeCode(0x1234, 80), 0x1234); // bit 0x1000: never re-qualified
    EXPECT_EQ(ComposeCode(0x2345, 0), 0x345);
    EXPECT_EQ(ComposeCode(0x8BEB, 0), 0x0BEB);
    EXPECT_EQ(ComposeCode(0xFFF, 15), 0xFFFF);   // last small module
    EXPECT_EQ(ComposeCode(0xFFF, 16), 0x100FFF); // first large module
    EXPECT_EQ(ComposeCode(0xFFF, 255), 0xFF0FFF);
    EXPECT_EQ(ComposeCode(-1, 80), -1);          // bit 0x1000 set
    // Composing twice keeps a small-module code only when bit 0x1000 is set.
    EXPECT_EQ(ComposeCode(ComposeCode(0xE90, 80), 80), 0x500E90);
}

TEST(QXResultTest, ModuleOf)
{
    EXPECT_EQ(ModuleOf(0x6E90), 6);
    EXPECT_EQ(ModuleOf(0x500E90), 80);
    EXPECT_EQ(ModuleOf(0xFFF), 0);
    EXPECT_EQ(ModuleOf(0), 0);
    EXPECT_EQ(ModuleOf(0xFFFF), 15);
    EXPECT_EQ(ModuleOf(0x10000), 1);
    EXPECT_EQ(ModuleOf(-1), 0xFF);
    EXPECT_EQ(ModuleOf(0x7F0001), 0x7F);
    // Round trip for every module.
    for (int m = 1; m <= 255; ++m)
        EXPECT_EQ(ModuleOf(ComposeCode(0xABC, static_cast<std::uint8_t>(m))), m) << m;
}

TEST(QXResultTest, ListedModules)
{
    int count = 0;
    for (int m = 0; m <= 255; ++m)
        count += IsListedModule(static_cast<std::uint8_t>(m)) ? 1 : 0;
    EXPECT_EQ(count, 13);
    for (int m : {6, 8, 9, 15, 17, 18, 19, 20, 21, 22, 23, 24, 80})
        EXPECT_TRUE(IsListedModule(static_cast<std::uint8_t>(m))) << m;
    for (int m : {0, 1, 7, 10, 16, 25, 79, 81, 127, 255})
        EXPECT_FALSE(IsListedModule(static_cast<std::uint8_t>(m))) << m;
}

TEST(QXResultTest, SameCode)
{
    EXPECT_TRUE(SameCode(0x500FFF, 4095));
    EXPECT_FALSE(SameCode(0x3FFF, 4095)); // module 3 is not plain
    EXPECT_FALSE(SameCode(0x3FFF, 0x3FFF)); // not even the same as itself
    EXPECT_TRUE(SameCode(0x6FFF, 0x8FFF));
    EXPECT_TRUE(SameCode(0x9E90, 0xE90));
    EXPECT_FALSE(SameCode(0x500FFE, 4095));
    EXPECT_TRUE(SameCode(-1, 0xFFF)); // negative codes are plain
    EXPECT_FALSE(SameCode(0xFFFF, 0xFFF)); // module 15 is not plain
}

TEST(QXResultTest, CodeToHex)
{
    EXPECT_EQ(CodeToHex(0), "0000");
    EXPECT_EQ(CodeToHex(0xE90), "0E90");
    EXPECT_EQ(CodeToHex(0xFFFF), "FFFF");
    EXPECT_EQ(CodeToHex(0x10000), "01.0000");
    EXPECT_EQ(CodeToHex(0x500E90), "50.0E90");
    EXPECT_EQ(CodeToHex(0x500FFF), "50.0FFF");
    EXPECT_EQ(CodeToHex(0x7F0001), "7F.0001");
    // Compared as unsigned: a negative code is never a small one.
    EXPECT_EQ(CodeToHex(-1), "FF.0FFF");
    EXPECT_EQ(CodeToHex(INT32_MIN), "00.0000");
    // Bits 12..15 of a large code do not show.
    EXPECT_EQ(CodeToHex(0x50AE90), "50.0E90");
}

TEST(QXResultTest, SeverityClasses)
{
    EXPECT_EQ(SeverityOf(0), 4);
    EXPECT_EQ(SeverityOf(0x500FFF), 2);
    EXPECT_EQ(SeverityOf(0x500E90), 5);
    EXPECT_EQ(SeverityOf(0xA123), 4);
    EXPECT_EQ(SeverityOf(0x2900), 1);
    EXPECT_EQ(SeverityOf(0x480A), 1);
    EXPECT_EQ(SeverityOf(0xD10), 3);
    EXPECT_EQ(SeverityOf(0x6D10), 3); // module 6 is plain
    EXPECT_EQ(SeverityOf(0x3D10), 5); // module 3 is not
    // Caught exceptions in plain form are class 2, whatever the module...
    EXPECT_EQ(SeverityOf(0xFFF), 2);
    EXPECT_EQ(SeverityOf(0x8FFF), 2);
    EXPECT_EQ(SeverityOf(0x100FFF), 2);
    // ...but not of a small module that is not plain.
    EXPECT_EQ(SeverityOf(0x3FFF), 5);
    // 0xBFF is in both the class-4 and the class-2 list: class 4 wins.
    EXPECT_EQ(SeverityOf(0xBFF), 4);
    EXPECT_EQ(SeverityOf(0x500BFF), 4);
    // 0xA000 block beats everything after it.
    EXPECT_EQ(SeverityOf(0xAFFF), 4);
    // Exact class-2 codes, not by message number.
    EXPECT_EQ(SeverityOf(0x1000), 2);
    EXPECT_EQ(SeverityOf(0x7011), 2);
    EXPECT_EQ(SeverityOf(0x7012), 5);
    // Exact class-4 codes of non-plain modules.
    EXPECT_EQ(SeverityOf(0x3301), 4);
    EXPECT_EQ(SeverityOf(0x3303), 5);
    EXPECT_EQ(SeverityOf(ComposeCode(0xE1F, 80)), 4);
    EXPECT_EQ(SeverityOf(-1), 2); // plain, message number 0xFFF
}

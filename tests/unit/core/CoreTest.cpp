#include "platform/core/Exceptions.h"
#include "platform/core/ProgramPath.h"
#include "platform/core/Random.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace platform;

// Class names of ours and of standard exceptions: the exception report tests.
TEST(Exceptions, ClassNameMessageAndOSErrors)
{
    const Exception &base = EFCreateError("m");
    EXPECT_STREQ(base.ClassName(), "EFCreateError");
    EXPECT_STREQ(base.what(), "m");
    EXPECT_NE(MakeOSError(2, "f.txt").Message().find("f.txt: "), std::string::npos);
}

TEST(ProgramPath, FileNameParts)
{
    const std::pair<std::string, std::string> cases[] = {
        {ChangeFileExt("/a/b.c/prog", ".ini"), "/a/b.c/prog.ini"},
        {ChangeFileExt("/a/prog.exe", ".Trace.txt"), "/a/prog.Trace.txt"}, {ChangeFileExt("/a/prog.exe", ""), "/a/prog"},
        {ExtractFileName("/a/b/c.png"), "c.png"}, {ExtractFilePath("/a/b/c.png"), "/a/b/"},
        {ExtractFileExt("/a.b/c"), ""}, {ExtractFileName(ProgramFileName()), "test_platform_core"},
        {ProgramFolder().substr(ProgramFolder().size() - 1), "/"}};
    for (const auto &[got, want] : cases)
        EXPECT_EQ(got, want);
}

TEST(Random, FixedSeedRepeatsInRange)
{
    std::vector<int> a(20), b(20);
    RandSeed(42), std::generate(a.begin(), a.end(), [] { return Random(5); });
    RandSeed(42), std::generate(b.begin(), b.end(), [] { return Random(5); });
    EXPECT_EQ(a, b);
    EXPECT_TRUE(std::all_of(a.begin(), a.end(), [](int v) { return v >= 0 && v < 5; }));
    EXPECT_EQ(Random(0), 0);
}

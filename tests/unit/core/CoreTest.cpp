#include "platform/core/Exceptions.h"
#include "platform/core/ProgramPath.h"

#include <gtest/gtest.h>

using namespace platform;

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

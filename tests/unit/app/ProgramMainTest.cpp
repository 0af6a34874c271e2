#include "app/ProgramMain.h"
#include "platform/os/SingleInstance.h"
#include "support/QX_VisualTraceCore.h"

#include "TestUtil.h"

#include <cstdio>
#include <gtest/gtest.h>

using platform::TSingleInstance;

TEST(ProgramMain, OnlyARunningCopyEndsTheStartSilentlyOtherLockFailuresAreReported)
{
    support::TVisualTraceCore names;
    names.SetDataFileName(support::ProgramTraceDataFileName());
    const std::string errors = names.ErrorsFileName();
    std::remove(errors.c_str());
    testutil::TempDir dir;
    TSingleInstance first, second;
    testing::internal::CaptureStderr();
    EXPECT_EQ(app::TakeSingleInstance(first, dir.File("x.lock")), -1);
    EXPECT_EQ(app::TakeSingleInstance(second, dir.File("x.lock")), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(testutil::FileExists(errors));

    // XDG_RUNTIME_DIR a regular file: a non-zero exit with the reason.
    testutil::WriteFile(dir.File("runtime"), "");
    const std::string why = "Korvane ScreenShot cannot start: cannot use the lock file \"" +
                            dir.File("runtime/x.lock") + "\": Not a directory";
    testing::internal::CaptureStderr();
    EXPECT_EQ(app::TakeSingleInstance(second, dir.File("runtime/x.lock")), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), why + "\n");
    EXPECT_NE(testutil::ReadFile(errors).find("Exception: '" + why + "'"), std::string::npos)
        << testutil::ReadFile(errors);
    std::remove(errors.c_str());
}

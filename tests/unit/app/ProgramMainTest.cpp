#include "app/ProgramMain.h"
#include "platform/os/SingleInstance.h"
#include "support/QX_VisualTraceCore.h"

#include "TestUtil.h"

#include <cstdio>
#include <gtest/gtest.h>

using platform::TSingleInstance;

// A running copy ending the start silently is pinned by the e2e test_lifecycle.
TEST(ProgramMain, LockFailuresOtherThanARunningCopyAreReported)
{
    support::TVisualTraceCore names;
    names.SetDataFileName(support::ProgramTraceDataFileName());
    const std::string errors = names.ErrorsFileName();
    testutil::TempDir dir;
    TSingleInstance second;
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

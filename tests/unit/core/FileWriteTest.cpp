#include "platform/core/FileWrite.h"

#include "FileSizeLimit.h"
#include "TestUtil.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using platform::WriteAll;

TEST(WriteAll, WritesEverythingThroughAPipeInPieces)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    // More than a pipe holds at once: the writes come back short and go on.
    const std::string data(1 << 20, 'p');
    std::string got;
    std::thread reader([&] {
        char buf[4096];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
            got.append(buf, static_cast<size_t>(n));
    });
    std::size_t written = 7;
    EXPECT_EQ(WriteAll(fds[1], data.data(), data.size(), written), 0);
    ::close(fds[1]);
    reader.join();
    ::close(fds[0]);
    EXPECT_EQ(written, data.size());
    EXPECT_EQ(got, data);

}

TEST(WriteAll, FailureReportsErrnoAndWhatReachedTheFile)
{
    testutil::TempDir dir;
    const int fd = ::open(dir.File("f").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    // A file-size limit cuts the write short, then refuses the rest.
    std::size_t written = 0;
    int err = 0;
    {
        const ScopedFileSizeLimit limit(100);
        err = WriteAll(fd, std::string(250, 'x').data(), 250, written);
    }
    ::close(fd);
    EXPECT_EQ(err, EFBIG);
    EXPECT_EQ(written, 100u);
    EXPECT_EQ(testutil::ReadFile(dir.File("f")), std::string(100, 'x'));
    written = 5;
    EXPECT_EQ(WriteAll(-1, "abc", 3, written), EBADF);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(WriteAll(-1, "", 0, written), 0); // nothing to write touches nothing
}

#include "app/EmailStuff.h"

#include "AppTestUtil.h"

#include <gtest/gtest.h>

using namespace app;

TEST(Email, AClientThatCannotStartOrFailsAtOnceGivesTheReason)
{
    EXPECT_EQ(StartMailCommand({"/nonexistent/xdg-email-kss", "--subject", "s"}),
              "/nonexistent/xdg-email-kss: No such file or directory");
    apptest::TFakeProgram failing("xdg-email", "echo 'xdg-email: no method available for opening' >&2; exit 3");
    EXPECT_EQ(SendMail("s", "", "/f", "", "", "", ""), -1);
    EXPECT_EQ(MailFailureText(), "xdg-email ended with exit code 3: xdg-email: no method available for opening");
}

TEST(Email, RecipientBecomesAMailtoAddressAndTheSenderIsLeftToTheClient)
{
    EXPECT_EQ(BuildMailCommand("", "hello", "", "Ann", "ann@example.org"),
              (TMailCommand{"xdg-email", "--body", "hello", "mailto:ann@example.org"}));
    // An address can never turn into an option or a second header.
    EXPECT_EQ(BuildMailCommand("", "", "", "", "-x?cc=b@c d").back(), "mailto:-x%3Fcc%3Db@c%20d");
}

TEST(Email, ClientGetsItsArgumentsVerbatim)
{
    apptest::TFakeProgram client("xdg-email", "sleep 5"); // lingers after recording
    const std::string marker = client.Folder() + "/pwned";
    const std::string subject = "Image captured with $(touch " + marker + ") 'q' \"d\" `x`";
    const std::string file = client.Folder() + "/Image 00001;rm.PNG";
    EXPECT_EQ(SendMail(subject, "", file, "", "", "", ""), 0);
    EXPECT_EQ(client.Calls(4), "--subject\n" + subject + "\n--attach\n" + file + "\n");
    EXPECT_FALSE(testutil::FileExists(marker));
}

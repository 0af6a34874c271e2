#pragma once
// Hands a message with at most one attachment to the user's mail client.
// The client is reached through xdg-email, started with an argument vector
// (never through a shell) and left running on its own, so the program runs
// without a mail client installed and never waits for the user's mail. Only
// a start that fails, or an xdg-email that ends with an error within a moment
// (no mail client configured), counts as a failure, with its reason.
#include <functional>
#include <string>
#include <vector>

namespace app {

// The mail client's command: program name then arguments.
using TMailCommand = std::vector<std::string>;

// The command for a message: "xdg-email", then "--subject S", "--body B" and
// "--attach FILE" for the non-empty ones, then the recipient as a mailto:
// address. xdg-email has no sender option: the client uses its own account.
TMailCommand BuildMailCommand(const std::string &subject, const std::string &body,
                              const std::string &attachment, const std::string &toName,
                              const std::string &toAddress);

// Starts a mail command; "" when it started, else why it did not.
using TMailLauncher = std::function<std::string(const TMailCommand &)>;

// 0 when the mail client was started; -1 when it could not be started or
// failed at once (MailFailureText says why). The seven strings are those of
// the mail call: subject, body, attachment path, sender name and address,
// recipient name and address.
int SendMail(const std::string &subject, const std::string &body, const std::string &attachment,
             const std::string &fromName, const std::string &fromAddress,
             const std::string &toName, const std::string &toAddress);
// Why the last SendMail failed ("" after a success).
const std::string &MailFailureText();

// Puts `launcher` in place of the detached start (tests); an empty one
// restores the real start. Returns the previous launcher.
TMailLauncher SetMailLauncher(TMailLauncher launcher);

// Starts `command` (no shell) and watches it for up to `graceMs`: "" when it
// is still running then or ended with exit code 0, else the reason (the
// start's error, or the exit code and the first line it wrote to standard
// error). A command still running is left to run on; it is reaped when it
// ends and is not stopped when this program ends.
std::string StartMailCommand(const TMailCommand &command, int graceMs = 1000);

} // namespace app

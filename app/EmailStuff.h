#pragma once
// Hands a message with at most one attachment to the user's mail client.
// The client is reached through xdg-email, started detached with an argument
// vector (never through a shell), so the program never waits for the mail
// client and runs without one installed.
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

// Starts a command detached; true when it could be started.
using TMailLauncher = std::function<bool(const TMailCommand &)>;

// 0 when the mail client was started; -1 when it could not be started (no
// xdg-email). The seven strings are those of the mail call: subject, body,
// attachment path, sender name and address, recipient name and address.
int SendMail(const std::string &subject, const std::string &body, const std::string &attachment,
             const std::string &fromName, const std::string &fromAddress,
             const std::string &toName, const std::string &toAddress);

// Puts `launcher` in place of the detached start (tests); an empty one
// restores the real start. Returns the previous launcher.
TMailLauncher SetMailLauncher(TMailLauncher launcher);

// Starts `command` detached (no shell, no waiting); true when it started.
bool StartDetachedCommand(const TMailCommand &command);

} // namespace app

#include "support/DirShell.h"

#include "platform/os/ShellOpen.h"
#include "support/ExceptionReport.h"
#include "support/QX_CallStack.h"
#include "support/TextRoutines.h"

#include <sys/stat.h>

namespace support {

namespace {

bool DirectoryExists(const std::string &dir)
{
    struct stat st {};
    return !dir.empty() && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

bool CheckDirectory(const std::string &dir, std::uint8_t module, TQXResultEx &r)
{
    try {
        InitResult(r);
        if (!DirectoryExists(dir))
            r.Code = ComposeCode(qxrDirectoryDoesNotExist, module);
        r.Text = AddNameValue({}, "Directory", IsBlank(dir) ? InAngles("empty string") : dir, true);
    } catch (const std::exception &E) {
        ExceptionReport(E, module, nullptr, 0, {}, r);
    }
    return IsOK(r);
}

bool ShellOpen(QWidget *window, const std::string &target, std::uint8_t module, TQXResultEx &r)
{
    (void)window; // the opener is a separate process with windows of its own
    TQXCI ci;
    ci.Enter("FunctionNameHere");
    try {
        ClearResult(r);
        platform::ShellExecuteOpen(target);
    } catch (const std::exception &E) {
        ExceptionReport(E, module, &ci, 0, {}, r);
    }
    ci.Leave(false);
    return IsOK(r);
}

} // namespace support

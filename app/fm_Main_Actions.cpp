// The main form's capture actions: the action loop after a capture and what
// its choices do, and the tray item that opens the destination folder.
#include "app/CaptureActions.h"
#include "app/EmailStuff.h"
#include "app/fm_Main.h"
#include "platform/core/Exceptions.h"
#include "support/ExceptionReport.h"
#include "support/TextRoutines.h"

namespace app {

namespace {
TCaptureSource SourceOf(TfmMain &form)
{
    return {[&form](platform::TBitmap &b) { form.CopyCaptureTo(b); },
            [&form] { form.EndCapture(); }};
}
} // namespace

void TfmMain::RunWhatToDo(bool areaSelected)
{
    TCaptureLoopSteps steps;
    steps.AskChoice = AskWhatToDo;
    steps.SetMenuEnabled = [this](bool e) { SetMenuEnabled(e); };
    steps.EndCapture = [this] { EndCapture(); };
    steps.RedoSelection = [this] { RedoSelection(); };
    steps.Save = [this](support::TQXResultEx &r) { return SaveCapture(r); };
    steps.CopyToClipboard = [this](support::TQXResultEx &r) { return CopyCaptureToClipboard(r); };
    steps.Mail = [this](support::TQXResultEx &r) { return MailCapture(r); };
    steps.ShowFailure = ShowActionFailure;
    RunCaptureLoop(areaSelected, steps);
}

bool TfmMain::SaveCapture(support::TQXResultEx &r)
{
    return SaveCaptureAction(SourceOf(*this), FFileCounter, FLastFileName, r);
}

bool TfmMain::CopyCaptureToClipboard(support::TQXResultEx &r)
{
    return CopyCaptureToClipboardAction(SourceOf(*this), r);
}

bool TfmMain::MailCapture(support::TQXResultEx &r)
{
    // Saved first, with the next number; the overlay has ended by the time
    // the mail client comes up.
    if (SaveCapture(r))
        SendCaptureMail(FLastFileName, r);
    return support::IsOK(r);
}

bool TfmMain::SendCaptureMail(const std::string &fileName, support::TQXResultEx &r)
{
    if (!SendCaptureMailAction(fileName, r))
        return false;
    // No mail client, or one that gave up at once: the user must hear of it,
    // and that the capture is saved all the same.
    if (const std::string &failure = MailFailureText(); !failure.empty()) {
        support::ExceptionReport(platform::Exception("The mail program could not be started: " + failure),
                                 kAppModule, nullptr, 0, std::string(), r);
        r.Text = support::AddNameValue(r.Text, "File name", fileName, true);
    }
    return support::IsOK(r);
}

void TfmMain::miOpenDestinationFolderClick()
{
    OpenDestinationFolder(this);
}

} // namespace app

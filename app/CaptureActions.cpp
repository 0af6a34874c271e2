#include "app/CaptureActions.h"

#include "app/CFGIniFile.h"
#include "app/CaptureFile.h"
#include "app/CaptureTexts.h"
#include "app/ModalRunner.h"
#include "app/fm_ShowMessageToUser.h"
#include "app/fm_WhatToDo.h"

#include "support/DirShell.h"
#include "support/ExceptionReport.h"

#include <QPushButton>

namespace app {

void RunCaptureLoop(bool areaMode, const TCaptureLoopSteps &steps)
{
    support::TQXResultEx r;
    try {
        do {
            support::ClearResult(r);
            steps.SetMenuEnabled(false);
            switch (steps.AskChoice(areaMode)) {
            case wtdRedo:
                // The overlay is back; the menu stays disabled until the next
                // selection's action ends.
                steps.RedoSelection();
                break;
            case wtdEMail:
                if (steps.Mail(r))
                    steps.SetMenuEnabled(true);
                break;
            case wtdSave:
                if (steps.Save(r))
                    steps.SetMenuEnabled(true);
                break;
            case wtdClipboard:
                if (steps.CopyToClipboard(r))
                    steps.SetMenuEnabled(true);
                break;
            default: // cancel, or closed without a choice
                steps.EndCapture();
                steps.SetMenuEnabled(true);
                break;
            }
            if (!support::IsOK(r))
                steps.ShowFailure(r);
        } while (!support::IsOK(r));
    } catch (...) {
        try {
            steps.EndCapture();
        } catch (...) {
            // The first exception is the one worth showing.
        }
        steps.SetMenuEnabled(true);
        throw;
    }
}

std::uint8_t AskWhatToDo(bool areaMode)
{
    TfmWhatToDo dlg;
    struct Publish {
        explicit Publish(TfmWhatToDo *d) { fmWhatToDo = d; }
        ~Publish() { fmWhatToDo = nullptr; }
    } publish(&dlg);
    dlg.Choice = wtdNone;
    dlg.btRedoSelection()->setEnabled(areaMode);
    RunModal(dlg);
    return dlg.Choice;
}

void ShowActionFailure(const support::TQXResultEx &r)
{
    ShowResult(ApplicationTitle(), r, std::string());
}

void OpenDestinationFolder(QWidget *window)
{
    support::TQXResultEx r;
    try {
        ForceDirectories(CFGAllData.DestinationFolder);
        support::ShellOpen(window, CFGAllData.DestinationFolder, kAppModule, r);
    } catch (const std::exception &e) {
        support::ExceptionReport(e, kAppModule, nullptr, 0, std::string(), r);
    }
}

} // namespace app

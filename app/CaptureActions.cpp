#include "app/CaptureActions.h"

#include "app/CFGIniFile.h"
#include "app/CaptureFile.h"
#include "app/CaptureTexts.h"
#include "app/ModalRunner.h"
#include "app/fm_ShowMessageToUser.h"
#include "app/fm_WhatToDo.h"

#include "app/EmailStuff.h"
#include "app/SelfUnit.h"
#include "imaging/LinarBitmap.h"
#include "imaging/Streams.h"
#include "platform/gui/Bitmap.h"
#include "support/DirShell.h"
#include "support/ExceptionReport.h"
#include "support/TextRoutines.h"
#include "support/dm_LNG.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPushButton>
#include <fcntl.h>

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

namespace {
// The report of an exception caught by an action, as a fresh record.
support::TQXResultEx Report(const std::exception &e)
{
    support::TQXResultEx x;
    support::ExceptionReport(e, kAppModule, nullptr, 0, std::string(), x);
    return x;
}
} // namespace

void WriteCaptureFile(const platform::TBitmap &bitmap, TCaptureFile &file)
{
    imaging::TLinearBitmap linear;
    linear.Assign(bitmap.Image());
    // The writer goes through its own descriptor of the file created here,
    // so it can never end up writing anywhere else.
    const int fd = ::fcntl(file.Handle(), F_DUPFD_CLOEXEC, 0);
    const std::unique_ptr<imaging::TFileStream> stream = imaging::TFileStream::CreateFromHandle(fd);
    linear.SaveToStream(*stream, imaging::FileExtUpper(file.FileName()));
    stream->Finish();
    file.Keep();
}

bool SaveCaptureAction(const TCaptureSource &source, int &counter, std::string &lastFileName,
                       support::TQXResultEx &r)
{
    support::ClearResult(r);
    try {
        ForceDirectories(CFGAllData.DestinationFolder);
        TCaptureFile file = TCaptureFile::CreateNext(
            CFGAllData.DestinationFolder, CFGAllData.ImageFileFormat, counter, lastFileName);
        platform::TBitmap bitmap;
        source.CopyCaptureTo(bitmap);
        WriteCaptureFile(bitmap, file);
        source.EndCapture();
    } catch (const std::exception &e) {
        r = Report(e);
        r.Text = support::AddNameValue(r.Text, "Destination folder", CFGAllData.DestinationFolder, true);
        r.Text = support::AddNameValue(r.Text, "File name", lastFileName, true);
    }
    return support::IsOK(r);
}

bool CopyCaptureToClipboardAction(const TCaptureSource &source, support::TQXResultEx &r)
{
    support::ClearResult(r);
    try {
        platform::TBitmap bitmap;
        source.CopyCaptureTo(bitmap);
        QClipboard *clipboard = QGuiApplication::clipboard();
        if (!clipboard)
            throw platform::Exception("Cannot open clipboard");
        clipboard->setImage(bitmap.Image());
        source.EndCapture();
    } catch (const std::exception &e) {
        r = Report(e);
    }
    return support::IsOK(r);
}

bool SendCaptureMailAction(const std::string &fileName, support::TQXResultEx &r)
{
    support::ClearResult(r);
    try {
        const std::string subject =
            support::SubstArgs(support::LngText("Image captured with %"), {ProgramCaption()});
        SendMail(subject, std::string(), fileName, std::string(), std::string(), std::string(),
                 std::string());
    } catch (const std::exception &e) {
        r = Report(e);
        r.Text = support::AddNameValue(r.Text, "File name", fileName, true);
    }
    return support::IsOK(r);
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

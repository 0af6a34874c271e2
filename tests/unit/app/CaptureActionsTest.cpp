// The capture actions: alone, in the action loop, and on the main form with a scripted user.
#include "app/CaptureActions.h"
#include "app/EmailStuff.h"
#include "app/ModalRunner.h"
#include "app/ProgramMain.h"
#include "app/fm_ShowMessageToUser.h"
#include "app/fm_WhatToDo.h"

#include "FakeServices.h"
#include "TestUtil.h"
#include "imaging/LinarBitmap.h"
#include "imaging/Streams.h"
#include "platform/gui/Bitmap.h"

#include <QLabel>
#include <QPushButton>
#include <deque>
#include <filesystem>

using namespace app;
using support::TQXResultEx;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {
// Writes "W H\n" then BGR rows; the first `failures` saves fail after the head.
class TRawSaver : public imaging::TBitmapLoader {
public:
    int failures = 0;
    bool CanSave(const std::string &Ext) override { return Ext == "RAW"; }
    bool CanLoad(const std::string &) override { return false; }
    void SaveToStream(imaging::TBaseStream &Stream, const std::string &, const imaging::TLinearBitmap &B) override
    {
        const std::string head = std::to_string(B.Width) + " " + std::to_string(B.Height) + "\n";
        Stream.Write(head.data(), int(head.size()));
        if (failures > 0 && failures--)
            throw std::runtime_error("disk full");
        for (int y = 0; y < B.Height; ++y)
            Stream.Write(B.ScanLine(y), B.Width * 3);
    }
};

// A "RAW" file of the rectangle of a fakes::Screen marked `mark`.
std::string Raw(int x, int y, int w, int h, int mark)
{
    std::string s = std::to_string(w) + " " + std::to_string(h) + "\n";
    for (int r = y; r < y + h; ++r)
        for (int c = x; c < x + w; ++c)
            s += {char(mark), char(r & 0xff), char(c & 0xff)};
    return s;
}

// The mail client stand-in: records the command, answers `failure`.
struct TMailRecorder {
    TMailCommand command;
    std::string failure;
    TMailLauncher previous = SetMailLauncher([this](const TMailCommand &c) { command = c; return failure; });
    ~TMailRecorder() { SetMailLauncher(previous); }
};

// The actions with a "RAW" writer into a private folder.
class CaptureActions : public fakes::MainFormFixture {
protected:
    void SetUp() override
    {
        MainFormFixture::SetUp();
        imaging::BitmapLoaders.Add(&saver);
        CFGAllData.DestinationFolder = dir.File("shots");
        CFGAllData.ImageFileFormat = "RAW";
    }
    void TearDown() override
    {
        MainFormFixture::TearDown();
        imaging::BitmapLoaders.Remove(&saver);
    }
    TCaptureSource Source()
    {
        return {[this](platform::TBitmap &b) { b.Assign(capture); }, [this] { ++ends; }};
    }
    bool Save() { return SaveCaptureAction(Source(), counter, last, r); }
    Strings Files() const
    {
        Strings names;
        for (const auto &e : fs::directory_iterator(dir.Path() + "/shots", ec))
            names.push_back(e.path().filename().string());
        return names;
    }
    std::string Saved(int n) const { return dir.File("shots/Image_0000" + std::to_string(n) + ".RAW"); }

    testutil::TempDir dir;
    TRawSaver saver;
    QImage capture = fakes::Screen(4, 3, 9).convertToFormat(QImage::Format_BGR888);
    int ends = 0, counter = 0;
    std::string last;
    TQXResultEx r;
    mutable std::error_code ec;
};
} // namespace

TEST_F(CaptureActions, FormatWithoutWriterFailsWithBothLinesAndLeavesNoFileTheNextSaveTakesTheNextNumber)
{
    CFGAllData.ImageFileFormat = "TIF";
    EXPECT_FALSE(Save());
    EXPECT_EQ(r.Code, 0x500FFF);
    EXPECT_EQ(r.Text, "Exception: 'Unsupported file format: TIF'\r\nDestination folder: '" + dir.File("shots") +
                          "'\r\nFile name: '" + dir.File("shots/Image_00001.TIF") + "'");
    EXPECT_NE(r.Detail.find("ClassName: 'EUnsupportedFileFormat'"), std::string::npos) << r.Detail;
    EXPECT_EQ(Files(), Strings{});
    EXPECT_EQ(ends, 0);

    CFGAllData.ImageFileFormat = "RAW";
    r.Code = 7; // cleared by the action
    ASSERT_TRUE(Save()) << r.Text;
    EXPECT_EQ(r.Code + ends, 1);
    EXPECT_EQ(last, Saved(2)); // past the name that was tried
}

// A writer failing midway: AFailedSaveIsShown...; a file that cannot be created: CaptureFileTest.
TEST_F(CaptureActions, NoFolderChoosesNoNameAndNamesTheLastFile)
{
    CFGAllData.DestinationFolder = "";
    counter = 6;
    last = "/x/Image_00006.RAW";
    EXPECT_FALSE(Save());
    EXPECT_EQ(r.Text, "Exception: 'Unable to create directory'\r\nDestination folder: ''\r\nFile name: '" + last + "'");
    EXPECT_EQ(counter, 6);
    EXPECT_EQ(ends, 0);
}

TEST(CaptureActionsLoop, AFailingEndAfterAFailingDialogKeepsTheFirstExceptionAndEnablesTheMenu)
{
    std::vector<bool> menu;
    TCaptureLoopSteps s;
    s.AskChoice = [](bool) -> std::uint8_t { throw std::logic_error("no dialog"); };
    s.SetMenuEnabled = [&](bool e) { menu.push_back(e); };
    s.EndCapture = [] { throw std::runtime_error("end failed"); };
    EXPECT_THROW(RunCaptureLoop(false, s), std::logic_error);
    EXPECT_EQ(menu, (std::vector<bool>{false, true}));
}

TEST(CaptureActionsLoop, FailureIsShownUnderTheApplicationTitle)
{
    SetApplicationTitle("Korvane ScreenShot");
    QString title, text;
    TScopedModalRunner runner([&](QDialog &d) {
        title = d.windowTitle();
        text = dynamic_cast<TfmShowMessageToUser &>(d).lbMsg()->text();
        return 1;
    });
    const TQXResultEx r{0x500FFF, "Exception: 'x'\r\nDestination folder: '/d'\r\nFile name: '/d/Image_00001.PNG'",
                        "ClassName: 'EFCreateError'\r\nin module: '/bin/k'"};
    ShowActionFailure(r);
    EXPECT_EQ(title, "Korvane ScreenShot");
    EXPECT_EQ(text, "System error (50.0FFF)\nException: 'x'\nDestination folder: '/d'\n"
                    "File name: '/d/Image_00001.PNG'\nClassName: 'EFCreateError'\nin module: '/bin/k'");
    ShowResult("T", r, "just this"); // a text of its own is shown as it is
    EXPECT_EQ(title, "T");
    EXPECT_EQ(text, "just this");
}

namespace {
class ActionsOnMainForm : public CaptureActions {
protected:
    // Per dialog, in order: a button name, "close" (no choice), "throw", or "ok" (message form).
    std::deque<std::string> script;
    Strings seen; // "whattodo(redo on|off)" or "message:<text>"

    void SetUp() override
    {
        CaptureActions::SetUp();
        log->Images = {fakes::Screen(320, 200, 1), fakes::Screen(320, 200, 2)};
        Create();
    }

    TScopedModalRunner runner{[this](QDialog &d) {
        if (auto *m = qobject_cast<TfmShowMessageToUser *>(&d))
            seen.push_back("message:" + m->lbMsg()->text().toStdString());
        else if (auto *w = qobject_cast<TfmWhatToDo *>(&d)) {
            seen.push_back(std::string("whattodo(redo ") + (w->btRedoSelection()->isEnabled() ? "on)" : "off)"));
            EXPECT_EQ(fmWhatToDo, w);
        }
        if (script.empty()) {
            ADD_FAILURE() << "a dialog more than the script expects";
            return 0;
        }
        const std::string step = script.front();
        script.pop_front();
        if (step == "throw")
            throw platform::EInOutError("no dialog");
        if (step != "ok" && step != "close")
            d.findChild<QPushButton *>(QString::fromStdString(step))->click();
        return 0;
    }};

    void SelectArea(QPoint from, QPoint to)
    {
        PressHotKey(TfmMain::HotKeyArea);
        Drag({from, to});
        Release(to);
    }
    std::string Failure(const std::string &what, bool folder, int n) const
    {
        return "message:System error (50.0FFF)\nException: '" + what + "'\n" +
               (folder ? "Destination folder: '" + dir.File("shots") + "'\n" : "") + "File name: '" + Saved(n) + "'\n";
    }
};
} // namespace

TEST_F(ActionsOnMainForm, AFailedSaveIsShownThenTheDialogComesBackAndTheNextNumberIsUsed)
{
    saver.failures = 1;
    script = {"btSave", "ok", "btSave"};
    SelectArea({0, 0}, {3, 2});
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].rfind(Failure("disk full", true, 1), 0), 0u) << seen[1];
    EXPECT_EQ(seen[2], "whattodo(redo on)");
    EXPECT_FALSE(fs::exists(Saved(1)));
    EXPECT_EQ(testutil::ReadFile(Saved(2)), Raw(0, 0, 3, 2, 2));
    ExpectAtRest();
}

TEST_F(ActionsOnMainForm, MailWithoutAClientSavesAndSaysWhy)
{
    // No mail client: the reason is shown, the capture stays saved.
    TMailRecorder mail{{}, "xdg-email: No such file or directory"};
    script = {"btEMail", "ok", "btCancel"};
    SelectArea({2, 2}, {6, 6});
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].rfind(Failure("The mail program could not be started: " + mail.failure, false, 1), 0), 0u)
        << seen[1];
    EXPECT_EQ(mail.command.back(), Saved(1));
    EXPECT_EQ(testutil::ReadFile(Saved(1)), Raw(2, 2, 4, 4, 2));
    ExpectAtRest();
}

TEST_F(ActionsOnMainForm, RedoRestoresTheCleanCopyAndKeepsTheProgramBusyUntilTheNextActionEnds)
{
    script = {"btRedoSelection"};
    SelectArea({0, 0}, {8, 8});
    EXPECT_FALSE(form->Idle());
    EXPECT_TRUE(form->isVisible()); // the overlay is back, with no new grab
    EXPECT_EQ(log->Grabs, 2);
    EXPECT_EQ(form->imMain->Picture().Image(), form->ScreenCopy().Image());
    script = {"btCancel"};
    Drag({{1, 1}, {4, 4}});
    Release({4, 4});
    ExpectAtRest();
}

// A clipboard copy from the dialog is pinned by the e2e test_actions.
TEST_F(ActionsOnMainForm, NoChoiceOrAFailingDialogEndsTheCapture)
{
    script = {"close", "throw"};
    SelectArea({0, 0}, {8, 8});
    ExpectAtRest();
    PressHotKey(TfmMain::HotKeyScreen);
    ExpectAtRest();
    EXPECT_EQ(shown, Strings{"no dialog"});
    EXPECT_EQ(Files(), Strings{});
}

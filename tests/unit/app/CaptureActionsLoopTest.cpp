#include "app/CaptureActions.h"

#include "app/ModalRunner.h"
#include "app/ProgramMain.h"
#include "app/fm_ShowMessageToUser.h"
#include "app/fm_WhatToDo.h"

#include <QLabel>
#include <QPushButton>
#include <deque>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace app;
using support::TQXResultEx;

namespace {
// A main form stand-in that records what the loop asks of it.
struct FakeForm {
    std::deque<std::uint8_t> choices;
    std::deque<bool> actionResults; // outcome of each Save/Clipboard/Mail call
    std::vector<std::string> log;
    std::vector<bool> menu;
    std::vector<std::int32_t> shownCodes;
    bool throwInSave = false;

    bool Act(const char *name, TQXResultEx &r)
    {
        support::ClearResult(r);
        log.push_back(name);
        if (throwInSave && std::string(name) == "save")
            throw std::runtime_error("boom");
        const bool ok = !actionResults.empty() && actionResults.front();
        if (!actionResults.empty())
            actionResults.pop_front();
        if (!ok) {
            r.Code = 0x500FFF;
            r.Text = std::string(name) + " failed";
        }
        return ok;
    }

    TCaptureLoopSteps Steps()
    {
        TCaptureLoopSteps s;
        s.AskChoice = [this](bool area) {
            log.push_back(area ? "ask(area)" : "ask(screen)");
            if (choices.empty())
                throw std::logic_error("dialog asked once too often");
            const std::uint8_t c = choices.front();
            choices.pop_front();
            return c;
        };
        s.SetMenuEnabled = [this](bool e) { menu.push_back(e); };
        s.EndCapture = [this] { log.push_back("end"); };
        s.RedoSelection = [this] { log.push_back("redo"); };
        s.Save = [this](TQXResultEx &r) { return Act("save", r); };
        s.CopyToClipboard = [this](TQXResultEx &r) { return Act("clipboard", r); };
        s.Mail = [this](TQXResultEx &r) { return Act("mail", r); };
        s.ShowFailure = [this](const TQXResultEx &r) {
            shownCodes.push_back(r.Code);
            log.push_back("show:" + r.Text);
        };
        return s;
    }
};

using Log = std::vector<std::string>;
using Menu = std::vector<bool>;
} // namespace

TEST(CaptureActionsLoop, FailedActionIsShownAndTheDialogComesBack)
{
    FakeForm f;
    f.choices = {wtdSave, wtdEMail, wtdClipboard};
    f.actionResults = {false, false, true};
    RunCaptureLoop(true, f.Steps());
    EXPECT_EQ(f.log, (Log{"ask(area)", "save", "show:save failed", "ask(area)", "mail",
                          "show:mail failed", "ask(area)", "clipboard"}));
    EXPECT_EQ(f.shownCodes, (std::vector<std::int32_t>{0x500FFF, 0x500FFF}));
    // Disabled for every pass, enabled once the action succeeded.
    EXPECT_EQ(f.menu, (Menu{false, false, false, true}));
    EXPECT_TRUE(f.choices.empty());
}

TEST(CaptureActionsLoop, CancelAndNoChoiceEndTheCaptureAndEnableTheMenuRedoKeepsItDisabled)
{
    const struct {
        std::uint8_t choice;
        bool area;
        Log log;
        Menu menu;
    } cases[] = {{wtdCancel, false, {"ask(screen)", "end"}, {false, true}},
                 {wtdNone, false, {"ask(screen)", "end"}, {false, true}},
                 {9, false, {"ask(screen)", "end"}, {false, true}},
                 {wtdRedo, true, {"ask(area)", "redo"}, {false}}};
    for (const auto &c : cases) {
        FakeForm f;
        f.choices = {c.choice};
        RunCaptureLoop(c.area, f.Steps());
        EXPECT_EQ(f.log, c.log) << int(c.choice);
        EXPECT_EQ(f.menu, c.menu) << int(c.choice);
    }
}

TEST(CaptureActionsLoop, AnExceptionEndsTheCaptureAndEnablesTheMenu)
{
    FakeForm f;
    f.choices = {wtdSave};
    f.throwInSave = true;
    EXPECT_THROW(RunCaptureLoop(true, f.Steps()), std::runtime_error);
    EXPECT_EQ(f.log, (Log{"ask(area)", "save", "end"}));
    EXPECT_EQ(f.menu, (Menu{false, true}));

    // Also when the dialog itself cannot be shown, and when ending fails too.
    FakeForm g;
    TCaptureLoopSteps steps = g.Steps();
    steps.EndCapture = [] { throw std::logic_error("end failed"); };
    EXPECT_THROW(RunCaptureLoop(false, steps), std::logic_error); // no choices left
    EXPECT_EQ(g.menu, (Menu{false, true}));
}

TEST(CaptureActionsLoop, TheDialogStartsWithoutChoiceAndOffersRedoOnlyAfterASelection)
{
    for (bool area : {true, false}) {
        bool sawDialog = false;
        TScopedModalRunner runner([&](QDialog &d) {
            auto &w = dynamic_cast<TfmWhatToDo &>(d);
            sawDialog = true;
            EXPECT_EQ(fmWhatToDo, &w);
            EXPECT_EQ(w.Choice, wtdNone);
            EXPECT_EQ(w.btRedoSelection()->isEnabled(), area);
            EXPECT_TRUE(w.btSave()->isEnabled());
            w.btCopyToClipboard()->click();
            return 0;
        });
        EXPECT_EQ(AskWhatToDo(area), wtdClipboard);
        EXPECT_TRUE(sawDialog);
        EXPECT_EQ(fmWhatToDo, nullptr);
    }
}

TEST(CaptureActionsLoop, FailureIsShownUnderTheApplicationTitle)
{
    SetApplicationTitle("Korvane ScreenShot");
    QString title, text;
    TScopedModalRunner runner([&](QDialog &d) {
        auto &m = dynamic_cast<TfmShowMessageToUser &>(d);
        title = m.windowTitle();
        text = m.lbMsg()->text();
        return 1;
    });
    TQXResultEx r;
    r.Code = 0x500FFF;
    r.Text = "Exception: 'x'\r\nDestination folder: '/d'\r\nFile name: '/d/Image_00001.PNG'";
    r.Detail = "ClassName: 'EFCreateError'\r\nin module: '/bin/k'";
    ShowActionFailure(r);
    EXPECT_EQ(title, "Korvane ScreenShot");
    EXPECT_EQ(text, "System error (50.0FFF)\nException: 'x'\nDestination folder: '/d'\n"
                    "File name: '/d/Image_00001.PNG'\nClassName: 'EFCreateError'\n"
                    "in module: '/bin/k'");

    // A text of its own is shown as it is; the record is ignored.
    ShowResult("T", r, "just this");
    EXPECT_EQ(title, "T");
    EXPECT_EQ(text, "just this");
}

#include "app/fm_Main.h"

#include "app/ModalRunner.h"
#include "app/fm_AboutBox.h"
#include "app/fm_Settings.h"
#include "app/fm_ShowMessageToUser.h"
#include "app/fm_WhatToDo.h"

#include "FakeServices.h"
#include "platform/core/Clock.h"
#include "support/DebugSwitch.h"
#include "support/QX_VisualTraceCore.h"
#include "support/dm_LNG.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

using app::TfmMain;
using platform::TRect;

namespace {

// The form's start-up on its own, with the settings loader of each test.
class MainFormStartUp : public fakes::MainFormFixture {
protected:
    // Every action dialog answers Cancel.
    app::TScopedModalRunner dialogs{[](QDialog &d) {
        if (auto *w = qobject_cast<app::TfmWhatToDo *>(&d))
            w->btCancel()->click();
        return 0;
    }};
};

class MainForm : public MainFormStartUp {
protected:
    void SetUp() override
    {
        MainFormStartUp::SetUp();
        log->Images = {fakes::Screen(320, 200, 1), fakes::Screen(320, 200, 2)};
        Create();
    }
};

} // namespace

// Start-up at rest with both hot keys: ExpectAtRest in every case, the keys in the e2e test_overlay.
TEST_F(MainForm, HotKeyActsOnlyWhenTheLoopDeliversItAndOnlyWhileIdle)
{
    hotKeys->Press(1);
    EXPECT_TRUE(log->Grabs == 0 && form->Idle()); // posted, not yet run
    QCoreApplication::sendPostedEvents(form.get());
    EXPECT_EQ(log->Grabs, 2);
    EXPECT_TRUE(form->isVisible() && !form->Trc->isVisible() && !form->Idle() && AllItemsEnabled(false));
    EXPECT_TRUE(form->CaptureMode() == 1 && form->tmMoveDescr->isActive());
    EXPECT_EQ(form->lbMsg->text(), "Select the area or press <Esc> to cancel");
    // The displayed picture is the first grab, the clean copy the second, both 24-bit.
    EXPECT_EQ(qBlue(form->imMain->Picture().Image().pixel(5, 5)) * 10 + qBlue(form->ScreenCopy().Image().pixel(5, 5)), 12);
    EXPECT_EQ(form->ScreenCopy().PixelFormat(), platform::TPixelFormat::pf24bit);
    for (int id : {1, 2, 7})
        PressHotKey(id);
    EXPECT_TRUE(log->Grabs == 2 && form->CaptureMode() == 1);
    // Escape held or tapped on the overlay ending the selection: the e2e test_overlay.
}

TEST_F(MainForm, FocusRectangleFollowsTheDragAndOnlyTheLastStays)
{
    PressHotKey(1);
    const QImage before = form->imMain->Picture().Image().copy();
    Drag({{50, 50}, {80, 70}, {100, 90}, {60, 120}});
    const QImage &now = form->imMain->Picture().Image();
    const QRect last(50, 50, 10, 70);
    int changed = 0;
    for (int y = 0; y < now.height(); ++y)
        for (int x = 0; x < now.width(); ++x)
            if (now.pixel(x, y) != before.pixel(x, y)) {
                ++changed;
                ASSERT_TRUE(last.contains(x, y) && !last.adjusted(1, 1, -1, -1).contains(x, y)) << x << "," << y;
            }
    EXPECT_GT(changed, 0);
    EXPECT_EQ(form->ScreenCopy().Image().pixel(50, 50), qRgb(50, 50, 2)); // the clean copy never sees it
}

TEST_F(MainForm, SelectionIsTheLastMoveInEitherDirectionInsideTheScreenCopy)
{
    // The release point is unused; points off the copy are clamped; one pixel is a selection.
    const struct {
        std::initializer_list<QPoint> drag;
        TRect s;
    } cases[] = {{{{30, 40}, {20, 25}, {10, 20}}, {10, 20, 30, 40}}, {{{40, 41}, {41, 42}}, {40, 41, 41, 42}},
                 {{{300, 20}, {-50, 5000}}, {0, 20, 300, 200}}};
    for (const auto &[drag, s] : cases) {
        PressHotKey(1);
        Drag(drag);
        EXPECT_TRUE(drag.size() != 3 || form->lbRegion->text() + "|" + form->lbCurrent->text() == "10.20 - 30.40|10.20");
        Release({-50, 5000});
        EXPECT_EQ(form->Selection(), s);
        ExpectAtRest(); // cancelled in the action dialog
        EXPECT_FALSE(form->tmMoveDescr->isActive());
        platform::TBitmap out;
        form->CopySelectionTo(out);
        ASSERT_EQ(QSize(out.Width(), out.Height()), QSize(s.Right - s.Left, s.Bottom - s.Top));
        EXPECT_EQ(out.Image().pixel(out.Width() - 1, out.Height() - 1), qRgb((s.Right - 1) & 0xff, s.Bottom - 1, 2));
    }
}

TEST_F(MainForm, AReleaseThatSelectsNoPixelLeavesTheOverlayUp)
{
    // A click (the e2e test_overlay) and a drag along one line: no dialog, still selecting.
    app::TScopedModalRunner noDialog([](QDialog &d) { return ADD_FAILURE() << "dialog shown", d.reject(), 0; });
    PressHotKey(1);
    const QImage before = form->imMain->Picture().Image().copy();
    Drag({{40, 41}, {90, 60}, {90, 41}});
    Release({90, 41});
    EXPECT_TRUE(form->isVisible() && !form->Idle() && form->tmMoveDescr->isActive());
    EXPECT_TRUE(form->imMain->Picture().Image() == before); // no rectangle left drawn
}

TEST_F(MainForm, PanelHeadsForTheOppositeCornerMiddleIncluded)
{
    form->imMain->resize(801, 601); // W div 2 = 400, H div 2 = 300
    for (const auto &[at, target] : {std::pair{QPoint(400, 300), QPoint(801 - 545 - 10, 601 - 57 - 10)},
                                     {QPoint(401, 301), QPoint(10, 10)}}) {
        form->ChoosePanelTarget(at.x(), at.y());
        EXPECT_EQ(QPoint(form->PanelTargetLeft(), form->PanelTargetTop()), target) << at.x() << "," << at.y();
    }
}

TEST_F(MainForm, AFailedOrRaisingGrabLeavesTheProgramIdleWithoutOverlay)
{
    for (bool raise : {false, true}) {
        shown.clear();
        log->Images = {QImage()};
        log->Throw = raise;
        PressHotKey(1);
        ExpectAtRest();
        // A failed grab is only traced; an exception is shown.
        EXPECT_EQ(shown, raise ? std::vector<std::string>{"The display went away"} : std::vector<std::string>{});
        // A grab that works later is taken.
        log->Images = {fakes::Screen(64, 48, 5)};
        log->Throw = false;
        PressHotKey(1);
        EXPECT_TRUE(form->isVisible());
        form->EndCapture();
        form->SetMenuEnabled(true);
    }
}

TEST_F(MainForm, MenuCapturesWithoutLookingAtIdleAndOpensTheTrayFormsModallyWhileBusy)
{
    form->miCaptureArea->trigger();
    EXPECT_TRUE(form->isVisible() && !form->Idle());
    form->EndCapture();
    form->SetMenuEnabled(true);

    std::vector<std::pair<std::string, QWidget *>> seen; // class, owner
    app::TScopedModalRunner runner([&](QDialog &d) {
        EXPECT_FALSE(form->Idle() || form->miCaptureArea->isEnabled());
        seen.emplace_back(d.metaObject()->className(), d.parentWidget());
        return 0;
    });
    form->miSettings->trigger();
    form->miAbout->trigger();
    EXPECT_EQ(seen, (decltype(seen){{"app::TfmSettings", nullptr}, {"app::TfmAboutBox", form.get()}}));
    EXPECT_TRUE(!app::fmAboutBox && !app::fmSettings);
    ExpectAtRest();
    // The menu comes back when a tray form fails.
    app::TScopedModalRunner failing([](QDialog &) -> int { throw platform::EInOutError("no form"); });
    EXPECT_THROW(form->miAboutClick(), platform::EInOutError);
    EXPECT_TRUE(AllItemsEnabled(true));
}

TEST_F(MainForm, ExitEndsTheMessageLoop)
{
    bool byExit = false;
    QTimer::singleShot(0, form.get(), [&] { byExit = true, form->miExit->trigger(); });
    QTimer::singleShot(5000, [&] { byExit = false, QCoreApplication::quit(); });
    QCoreApplication::exec();
    EXPECT_TRUE(byExit);
}

TEST_F(MainFormStartUp, AFailingStepIsShownAndTheProgramStaysUsable)
{
    for (bool inSettings : {true, false}) {
        form.reset();
        shown.clear();
        log = std::make_shared<fakes::TLog>();
        log->Images = {fakes::Screen(320, 200, 1)};
        log->RegistrationFailures = inSettings ? 0 : 1;
        const char *failure = inSettings ? "Could not find MyDocuments folder location." : "The keyboard went away";
        ASSERT_NO_THROW(Create([&] { inSettings ? throw platform::Exception(failure) : void(); }));
        EXPECT_EQ(shown, std::vector<std::string>{failure});
        ExpectAtRest();
        EXPECT_TRUE(!inSettings || support::dmLNG); // the steps after the settings ran
        // The capture works: the screen copy exists although a step never ran.
        PressHotKey(1);
        Drag({{10, 10}, {30, 20}});
        Release({30, 20});
        EXPECT_EQ(form->Selection(), (TRect{10, 10, 30, 20}));
        EXPECT_EQ(form->ScreenCopy().Width(), 320);
    }
}

TEST_F(MainFormStartUp, HotKeysHeldElsewhereAreToldOnceWhenTheLoopRuns)
{
    // The line on standard error: the e2e test_lifecycle.
    log->Held = {1, 2};
    std::vector<std::string> told;
    app::TScopedModalRunner messages([&](QDialog &d) {
        EXPECT_FALSE(form->Idle()); // no capture starts behind the message
        told.push_back(dynamic_cast<app::TfmShowMessageToUser &>(d).lbMsg()->text().toStdString());
        return 0;
    });
    Create();
    EXPECT_TRUE(told.empty());
    QCoreApplication::processEvents();
    const std::string line = "Another program holds the hot key %1, so it cannot start a capture; \"%2\" in the "
                             "tray menu still captures.";
    const auto held = [&](const char *key, const char *item) {
        return QString::fromStdString(line).arg(key, item).toStdString();
    };
    EXPECT_EQ(told, std::vector<std::string>{held("Ctrl+PrintScreen", "Capture Area") + "\n" +
                                             held("Alt+PrintScreen", "Capture Screen")});
    EXPECT_TRUE(form->Idle() && AllItemsEnabled(true));
    form->EndCapture(); // the keys are registered again, and are still held
    QCoreApplication::processEvents();
    EXPECT_EQ(told.size(), 1u);
}

TEST_F(MainFormStartUp, TheTraceAndTheTextModuleAreSetUpAndTheEndUndoesIt)
{
    Create();
    ASSERT_EQ(support::GlobalTrace.load(), static_cast<support::TVisualTraceCore *>(form->Trc));
    EXPECT_TRUE(form->Trc->Active() && form->Trc->isHidden() && form->Trc->CurrentLevel() == 0);
    ASSERT_NE(support::dmLNG, nullptr);
    EXPECT_EQ(support::dmLNG->Mode(), support::lngBuiltIn);
    // A user who turns the trace on (level 1, standard output) sees the form's lines; levels: the trace tests.
    std::vector<std::string> written;
    form->Trc->SetStandardOutputSink(
        [&](const std::vector<std::string> &lines) { written.insert(written.end(), lines.begin(), lines.end()); });
    form->Trc->SetCurrentLevel(1);
    form->Trc->SetToStandardOutput(true);
    form->miCaptureAreaClick();
    const auto pending = form->Trc->PendingLines();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_NE(pending[0].find("Screen grab failed: the capture was not started"), std::string::npos) << pending[0];
    form.reset(); // the component's last lines still reach the output
    EXPECT_EQ(written, pending);
    EXPECT_TRUE(!support::GlobalTrace.load() && !support::dmLNG && !app::fmMain);
    EXPECT_TRUE(log->Registered.empty()); // the hot keys are given back
}

TEST_F(MainFormStartUp, TheMessagePanelKeepsItsCoordinateLabelsOnlyOnTheDebugDay)
{
    const std::tuple<std::string, platform::DateTime, int> cases[] = {
        {"_korvane-dev", {2009, 9, 9, 23, 59, 0, 0}, 105},
        {"build-host", {2009, 9, 9, 23, 59, 0, 0}, 57}};
    for (const auto &[host, at, height] : cases) { // the day itself: the DebugSwitch tests
        support::SetHostNameSource([h = host] { return h; });
        const platform::ScopedClock clock([t = at] { return t; });
        form.reset();
        Create();
        EXPECT_EQ(form->pnMsg->geometry().contains(form->lbCurrent->geometry().translated(form->pnMsg->pos())), height == 105)
            << host << " " << at.Day;
    }
    support::SetHostNameSource({});
}

#include "app/fm_Main.h"

#include "app/ModalRunner.h"
#include "app/fm_AboutBox.h"
#include "app/fm_Settings.h"
#include "app/fm_WhatToDo.h"

#include "FakeServices.h"
#include "platform/gui/ExceptionDisplay.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <gtest/gtest.h>

using app::TfmMain;
using platform::TRect;

namespace {

class MainForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        services.Log->Images = {fakes::Screen(320, 200, 1), fakes::Screen(320, 200, 2)};
        platform::SetExceptionDisplay([this](const std::exception &e) { shown.push_back(e.what()); });
        form = std::make_unique<TfmMain>(services.Make());
    }
    void TearDown() override
    {
        form.reset();
        platform::SetExceptionDisplay({});
    }

    void PressHotKey(int id)
    {
        services.HotKeys->Press(id);
        QCoreApplication::sendPostedEvents(form.get());
    }
    void Mouse(QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons held)
    {
        const QPointF p(x, y);
        QMouseEvent ev(type, p, form->imMain->mapToGlobal(p), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(form->imMain, &ev);
    }
    void Drag(std::initializer_list<QPoint> path)
    {
        auto it = path.begin();
        Mouse(QEvent::MouseButtonPress, it->x(), it->y(), Qt::LeftButton, Qt::LeftButton);
        for (++it; it != path.end(); ++it)
            Mouse(QEvent::MouseMove, it->x(), it->y(), Qt::NoButton, Qt::LeftButton);
    }
    void Release(int x, int y) { Mouse(QEvent::MouseButtonRelease, x, y, Qt::LeftButton, Qt::NoButton); }
    bool AllItemsEnabled(bool enabled) const
    {
        for (QAction *a : form->pmMainMenu->actions())
            if (a->isEnabled() != enabled)
                return false;
        return true;
    }

    fakes::TServices services;
    // Every action dialog answers Cancel.
    app::TScopedModalRunner dialogs{[](QDialog &d) {
        if (auto *w = qobject_cast<app::TfmWhatToDo *>(&d))
            w->btCancel()->click();
        return 0;
    }};
    std::vector<std::string> shown;
    std::unique_ptr<TfmMain> form;
};

} // namespace

TEST_F(MainForm, StartsHiddenIdleWithBothHotKeysAndTheMenu)
{
    EXPECT_EQ(app::fmMain, form.get());
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->Idle());
    EXPECT_EQ(form->windowTitle(), "fmMain");
    const auto &reg = services.Log->Registered;
    ASSERT_EQ(reg.size(), 2u);
    EXPECT_EQ(reg.at(1), std::make_pair(unsigned(platform::hkControl), platform::ksPrint));
    EXPECT_EQ(reg.at(2), std::make_pair(unsigned(platform::hkAlt), platform::ksPrint));

    std::vector<std::string> names, captions;
    for (QAction *a : form->pmMainMenu->actions()) {
        names.push_back(a->objectName().toStdString());
        captions.push_back(a->text().toStdString());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"miCaptureArea", "miCaptureScreen", "miOpenDestinationFolder",
                                               "miSettings", "miAbout", "miExit"}));
    EXPECT_EQ(captions, (std::vector<std::string>{"Capture Area                 Ctrl+PrintScreen",
                                                  "Capture Screen              Alt+PrintScreen",
                                                  "Open Destination Folder", "&Settings", "&About", "&Exit"}));
    EXPECT_TRUE(AllItemsEnabled(true));
    EXPECT_EQ(form->tiMain->contextMenu(), form->pmMainMenu);

    EXPECT_EQ(form->pnMsg->geometry(), QRect(24, 0, 545, 57));
    EXPECT_EQ(form->PanelTargetLeft(), 10);
    EXPECT_EQ(form->PanelTargetTop(), 10);
    EXPECT_EQ(form->tmMoveDescr->interval(), 15);
    EXPECT_FALSE(form->tmMoveDescr->isActive());
    EXPECT_EQ(form->tmCheckEsc->interval(), 50);
    EXPECT_TRUE(form->tmCheckEsc->isActive());
    EXPECT_EQ(form->pnMsg->palette().color(QPalette::Window), QColor(0x47, 0x00, 0xB8));
    EXPECT_EQ(form->lbMsg->palette().color(QPalette::WindowText), QColor(Qt::yellow));
}

TEST_F(MainForm, HotKeyActsOnlyWhenTheLoopDeliversIt)
{
    services.HotKeys->Press(1);
    EXPECT_EQ(services.Log->Grabs, 0); // posted, not yet run
    EXPECT_TRUE(form->Idle());
    QCoreApplication::sendPostedEvents(form.get());
    EXPECT_EQ(services.Log->Grabs, 2);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->Idle());
    EXPECT_TRUE(AllItemsEnabled(false));
    EXPECT_EQ(form->CaptureMode(), 1);
    EXPECT_TRUE(form->tmMoveDescr->isActive());
    EXPECT_EQ(form->lbMsg->text(), "Select the area or press <Esc> to cancel");
    // The displayed picture is the first grab, the clean copy the second.
    EXPECT_EQ(qBlue(form->imMain->Picture().Image().pixel(5, 5)), 1);
    EXPECT_EQ(qBlue(form->ScreenCopy().Image().pixel(5, 5)), 2);
    EXPECT_EQ(form->ScreenCopy().PixelFormat(), platform::TPixelFormat::pf24bit);
    EXPECT_EQ(form->imMain->Picture().PixelFormat(), platform::TPixelFormat::pf24bit);
}

TEST_F(MainForm, BusyFormIgnoresHotKeysUntilEscapeEndsTheSelection)
{
    PressHotKey(1);
    ASSERT_TRUE(form->isVisible());
    PressHotKey(1);
    PressHotKey(2);
    PressHotKey(7);
    EXPECT_EQ(services.Log->Grabs, 2);
    EXPECT_EQ(form->CaptureMode(), 1);

    const int unregs = services.Log->Unregistrations;
    services.Log->EscapeDown = true;
    form->tmCheckEscTimer();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->Idle());
    EXPECT_TRUE(AllItemsEnabled(true));
    // The hot keys were taken back and given again.
    EXPECT_EQ(services.Log->Unregistrations, unregs + 2);
    EXPECT_EQ(services.Log->Registered.size(), 2u);

    // Escape while no overlay is shown does nothing.
    const int regs = services.Log->Registrations;
    form->tmCheckEscTimer();
    EXPECT_EQ(services.Log->Registrations, regs);
    services.Log->EscapeDown = false;

    PressHotKey(1);
    EXPECT_EQ(services.Log->Grabs, 4);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(MainForm, DragInEitherDirectionGivesTheSameSelection)
{
    PressHotKey(1);
    Drag({{30, 40}, {20, 25}, {10, 20}});
    EXPECT_EQ(form->Selection(), (TRect{10, 20, 30, 40}));
    EXPECT_EQ(form->lbRegion->text(), "10.20 - 30.40");
    EXPECT_EQ(form->lbCurrent->text(), "10.20");
    // The release point is not used: the last move decides.
    Release(99, 99);
    EXPECT_EQ(form->Selection(), (TRect{10, 20, 30, 40}));
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->tmMoveDescr->isActive());
    EXPECT_TRUE(form->Idle()); // cancelled in the action dialog

    PressHotKey(1);
    Drag({{10, 20}, {30, 40}});
    Release(30, 40);
    EXPECT_EQ(form->Selection(), (TRect{10, 20, 30, 40}));
}

TEST_F(MainForm, FocusRectangleFollowsTheDragAndOnlyTheLastStays)
{
    PressHotKey(1);
    const QImage before = form->imMain->Picture().Image().copy();
    Drag({{50, 50}, {80, 70}, {100, 90}, {60, 120}});
    const QImage &now = form->imMain->Picture().Image();
    const TRect last{50, 50, 60, 120};
    int changed = 0;
    for (int y = 0; y < now.height(); ++y)
        for (int x = 0; x < now.width(); ++x)
            if (now.pixel(x, y) != before.pixel(x, y)) {
                ++changed;
                const bool onBorder = (x == last.Left || x == last.Right - 1 || y == last.Top ||
                                       y == last.Bottom - 1) &&
                                      x >= last.Left && x < last.Right && y >= last.Top && y < last.Bottom;
                ASSERT_TRUE(onBorder) << x << "," << y;
            }
    EXPECT_GT(changed, 0);
    // The clean copy never sees it.
    EXPECT_EQ(qBlue(form->ScreenCopy().Image().pixel(50, 50)), 2);
    EXPECT_EQ(form->ScreenCopy().Image().pixel(50, 50) & 0xffff00, qRgb(50, 50, 0) & 0xffff00);
}

TEST_F(MainForm, SelectionCopyHasExclusiveRightAndBottomEdges)
{
    PressHotKey(1);
    Drag({{30, 40}, {10, 20}});
    Release(10, 20);
    platform::TBitmap out;
    form->CopyCaptureTo(out);
    ASSERT_EQ(out.Width(), 20);
    ASSERT_EQ(out.Height(), 20);
    EXPECT_EQ(out.PixelFormat(), platform::TPixelFormat::pf24bit);
    EXPECT_EQ(out.Image().pixel(0, 0), qRgb(10, 20, 2));
    EXPECT_EQ(out.Image().pixel(19, 19), qRgb(29, 39, 2)); // column 30 and row 40 are not in it
    // From the clean copy, not from the displayed picture with its rectangle.
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(out.Image().pixel(x, y), qRgb(10 + x, 20 + y, 2));
}

TEST_F(MainForm, ClickWithoutMoveGivesAnEmptySelectionAtThePoint)
{
    PressHotKey(1);
    Drag({{40, 41}});
    Release(40, 41);
    EXPECT_EQ(form->Selection(), (TRect{40, 41, 40, 41}));
    platform::TBitmap out;
    form->CopySelectionTo(out);
    EXPECT_TRUE(out.Empty());
}

TEST_F(MainForm, MousePositionsAreClampedToTheScreenCopy)
{
    PressHotKey(1);
    Drag({{300, 20}, {-50, 5000}});
    EXPECT_EQ(form->Selection(), (TRect{0, 20, 300, 200}));
    Release(-50, 5000);
    platform::TBitmap out;
    form->CopySelectionTo(out);
    EXPECT_EQ(out.Width(), 300);
    EXPECT_EQ(out.Height(), 180);
    EXPECT_EQ(out.Image().pixel(299, 179), qRgb(299 & 0xff, 199, 2));
}

TEST_F(MainForm, WholeScreenCaptureNeverShowsTheOverlay)
{
    int shows = 0;
    struct Spy : QObject {
        int *n;
        explicit Spy(int *c) : n(c) {}
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::Show)
                ++*n;
            return false;
        }
    } spy(&shows);
    form->installEventFilter(&spy);
    PressHotKey(2);
    EXPECT_EQ(shows, 0);
    EXPECT_EQ(services.Log->Grabs, 1);
    EXPECT_EQ(form->CaptureMode(), 2);
    EXPECT_TRUE(form->Idle());
    platform::TBitmap out;
    form->CopyCaptureTo(out);
    EXPECT_EQ(out.Width(), 320);
    EXPECT_EQ(out.Height(), 200);
    EXPECT_EQ(out.PixelFormat(), platform::TPixelFormat::pf24bit);
    EXPECT_EQ(out.Image(), form->imMain->Picture().Image()); // the displayed picture, mark 1
    EXPECT_EQ(qBlue(out.Image().pixel(319, 199)), 1);
    form->removeEventFilter(&spy);
}

TEST_F(MainForm, PanelHeadsForTheOppositeCornerMiddleIncluded)
{
    form->imMain->resize(801, 601); // W div 2 = 400, H div 2 = 300
    form->ChoosePanelTarget(400, 300);
    EXPECT_EQ(form->PanelTargetLeft(), 801 - 545 - 10);
    EXPECT_EQ(form->PanelTargetTop(), 601 - 57 - 10);
    form->ChoosePanelTarget(401, 301);
    EXPECT_EQ(form->PanelTargetLeft(), 10);
    EXPECT_EQ(form->PanelTargetTop(), 10);
    form->ChoosePanelTarget(0, 600);
    EXPECT_EQ(form->PanelTargetLeft(), 246);
    EXPECT_EQ(form->PanelTargetTop(), 10);
}

TEST_F(MainForm, PanelStepsFiftyPixelsAndSnapsOnTheLastTick)
{
    form->imMain->resize(800, 600);
    form->ChoosePanelTarget(0, 0); // target 245, 533
    form->pnMsg->move(45, 533 - 50);
    form->tmMoveDescrTimer();
    EXPECT_EQ(form->pnMsg->pos(), QPoint(95, 533)); // a difference of exactly 50 snaps
    form->tmMoveDescrTimer();
    form->tmMoveDescrTimer();
    EXPECT_EQ(form->pnMsg->x(), 195);
    form->tmMoveDescrTimer();
    EXPECT_EQ(form->pnMsg->x(), 245); // 200 pixels: three steps and a snap
    form->tmMoveDescrTimer();
    EXPECT_EQ(form->pnMsg->pos(), QPoint(245, 533));

    form->ChoosePanelTarget(799, 599); // back to 10, 10
    form->pnMsg->move(61, 10);
    form->tmMoveDescrTimer();
    EXPECT_EQ(form->pnMsg->x(), 11); // 51 away: one step of 50 ...
    form->tmMoveDescrTimer();
    EXPECT_EQ(form->pnMsg->x(), 10); // ... then the snap
}

TEST_F(MainForm, FailedGrabLeavesTheProgramIdleWithoutOverlay)
{
    services.Log->Images = {QImage()};
    PressHotKey(1);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->Idle());
    EXPECT_TRUE(AllItemsEnabled(true));
    PressHotKey(2);
    EXPECT_TRUE(form->Idle());
    EXPECT_TRUE(shown.empty());
    // A grab that works later is taken.
    services.Log->Images = {fakes::Screen(64, 48, 5)};
    PressHotKey(1);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(MainForm, ExceptionInACaptureEndsItAndIsShown)
{
    services.Log->Throw = true;
    PressHotKey(1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "The display went away");
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->Idle());
    EXPECT_TRUE(AllItemsEnabled(true));
    EXPECT_EQ(services.Log->Registered.size(), 2u);
    // Through the menu as well.
    form->miCaptureScreen->trigger();
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_TRUE(form->Idle());
    services.Log->Throw = false;
    PressHotKey(1);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(MainForm, RedoRestoresTheCleanCopyWithoutGrabbing)
{
    PressHotKey(1);
    Drag({{10, 10}, {50, 60}});
    Release(50, 60);
    form->SetMenuEnabled(false);
    form->RedoSelection();
    EXPECT_EQ(services.Log->Grabs, 2);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->CaptureMode(), 1);
    EXPECT_EQ(form->imMain->Picture().Image(), form->ScreenCopy().Image());
}

TEST_F(MainForm, MenuItemsCaptureWithoutLookingAtIdle)
{
    form->miCaptureArea->trigger();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->Idle());
    form->EndCapture();
    form->SetMenuEnabled(true);
    form->miSettings->trigger();
    EXPECT_TRUE(form->Idle());
}

TEST_F(MainForm, TrayOpensTheSettingsAndTheAboutBoxModallyWhileBusy)
{
    struct Seen {
        std::string cls;
        QWidget *parent;
        bool idle;
        bool itemsEnabled;
    };
    std::vector<Seen> seen;
    app::TScopedModalRunner runner([&](QDialog &d) {
        seen.push_back({d.metaObject()->className(), d.parentWidget(), form->Idle(),
                        form->miCaptureArea->isEnabled()});
        return 0;
    });
    form->miSettings->trigger();
    form->miAbout->trigger();
    ASSERT_EQ(seen.size(), 2u);
    // The settings form has no owner; the about box belongs to the main form.
    EXPECT_EQ(seen[0].cls, "app::TfmSettings");
    EXPECT_EQ(seen[0].parent, nullptr);
    EXPECT_EQ(seen[1].cls, "app::TfmAboutBox");
    EXPECT_EQ(seen[1].parent, form.get());
    for (const Seen &s : seen) {
        EXPECT_FALSE(s.idle) << s.cls;
        EXPECT_FALSE(s.itemsEnabled) << s.cls;
    }
    EXPECT_TRUE(form->Idle());
    EXPECT_TRUE(AllItemsEnabled(true));
    EXPECT_EQ(app::fmSettings, nullptr);
    EXPECT_EQ(app::fmAboutBox, nullptr);
}

TEST_F(MainForm, AFailureDuringStartUpIsShownAndTheProgramStaysUsable)
{
    form.reset();
    services.Log->RegistrationFailures = 1;
    ASSERT_NO_THROW(form = std::make_unique<TfmMain>(services.Make()));
    ASSERT_EQ(shown, std::vector<std::string>{"The keyboard went away"});
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->Idle());
    EXPECT_TRUE(AllItemsEnabled(true));
    EXPECT_EQ(services.Log->Registered.size(), 2u);
    // The capture works: the screen copy exists although its step never ran.
    PressHotKey(1);
    EXPECT_TRUE(form->isVisible());
    Drag({{10, 10}, {30, 20}});
    Release(30, 20);
    EXPECT_EQ(form->Selection(), (TRect{10, 10, 30, 20}));
    EXPECT_EQ(form->ScreenCopy().Width(), 320);
}

TEST_F(MainForm, ExitEndsTheMessageLoop)
{
    bool byExit = false;
    QTimer::singleShot(0, form.get(), [&] {
        byExit = true;
        form->miExit->trigger();
    });
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [&] {
        byExit = false;
        QCoreApplication::quit();
    });
    safety.start(5000);
    QCoreApplication::exec();
    EXPECT_TRUE(byExit);
}

TEST_F(MainForm, DestructionGivesTheHotKeysBack)
{
    form.reset();
    EXPECT_TRUE(services.Log->Registered.empty());
    EXPECT_EQ(app::fmMain, nullptr);
}

TEST_F(MainForm, MenuComesBackWhenATrayFormFails)
{
    app::TScopedModalRunner failing([](QDialog &) -> int { throw platform::EInOutError("no form"); });
    EXPECT_THROW(form->miAboutClick(), platform::EInOutError);
    EXPECT_TRUE(AllItemsEnabled(true));
}

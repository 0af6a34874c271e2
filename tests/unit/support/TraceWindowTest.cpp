// The trace component as a widget: its frame's controls and handlers, the
// bounded trace list, the flush timer and the clipboard copy.
#include "TestUtil.h"
#include "TraceTestUtil.h"

#include "platform/core/Exceptions.h"
#include "platform/core/IniFile.h"
#include "support/QX_VisualTrace.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <tuple>

using namespace support;
using testutil::TempDir;
using tracetest::At;

namespace {

// Runs the event loop until `done` or `ms` milliseconds have passed.
template <class Pred> bool WaitFor(Pred done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Makes `trc` active with the screen as its output, at level `level`.
void OnScreen(TVisualTrace &trc, int level = 1)
{
    trc.SetToScreen(true);
    trc.SetCurrentLevel(level);
    trc.Activate();
}

TEST(TraceWindow, NewComponentSettersAndActivate)
{
    TVisualTrace trc;
    TfrVisualTrace *fr = trc.Frame();
    EXPECT_EQ(fr->tbLevel->maximum(), 7);
    EXPECT_FALSE(fr->pnSettings->isHidden());

    // The setters mirror the controls.
    trc.SetCurrentLevel(3);
    trc.SetToScreen(true);
    trc.SetToFile(true);
    trc.SetScroll(false);
    EXPECT_EQ(fr->tbLevel->value(), 3);
    EXPECT_EQ(fr->stLevel->text(), "3");
    EXPECT_TRUE(fr->cbScreen->isChecked());
    EXPECT_TRUE(fr->cbFile->isChecked());
    EXPECT_FALSE(fr->cbScroll->isChecked());

    EXPECT_FALSE(trc.Active());
    trc.Activate();
    EXPECT_TRUE(trc.Active());
    EXPECT_EQ(fr->bbSettings->text(), "Show settings");
    EXPECT_TRUE(fr->pnSettings->isHidden());
    fr->bbSettings->click();
    EXPECT_EQ(fr->bbSettings->text(), "Hide settings");
    EXPECT_FALSE(fr->pnSettings->isHidden());

    EXPECT_FALSE(fr->Panel1->isHidden());
    trc.SetInteractive(false);
    EXPECT_TRUE(fr->Panel1->isHidden());
}

TEST(TraceWindow, ControlsChangeTheComponentAndTheIniFileUnlessDetached)
{
    TempDir dir;
    TVisualTrace trc;
    TfrVisualTrace *fr = trc.Frame();
    trc.SetINIFileName(dir.File("t.ini"));
    trc.SetUseIniFile(true);
    trc.Activate();
    fr->tbLevel->setValue(6);
    fr->cbScreen->click();
    EXPECT_EQ(trc.CurrentLevel(), 6);
    EXPECT_EQ(fr->stLevel->text(), "6");
    EXPECT_TRUE(trc.ToScreen());
    EXPECT_EQ(testutil::ReadFile(dir.File("t.ini")), "[Trace]\nLevel=6\nScreen=1\nFile=0\n\n");

    // UserCanChange false detaches the handlers of level, screen and file.
    trc.SetUserCanChange(false);
    EXPECT_FALSE(fr->tbLevel->isEnabled() || fr->cbScreen->isEnabled() || fr->cbFile->isEnabled());
    EXPECT_TRUE(fr->cbScroll->isEnabled());
    fr->tbLevel->setValue(4);
    fr->cbFile->setChecked(true);
    EXPECT_EQ(trc.CurrentLevel(), 6);
    EXPECT_FALSE(trc.ToFile());
    EXPECT_EQ(fr->stLevel->text(), "6");
    // Scroll keeps its handler, which copies every control.
    fr->cbScroll->click();
    EXPECT_FALSE(trc.Scroll());
    EXPECT_EQ(trc.CurrentLevel(), 4);
    EXPECT_TRUE(trc.ToFile());
    EXPECT_EQ(fr->stLevel->text(), "4");
    trc.SetUserCanChange(true);
    fr->tbLevel->setValue(2);
    EXPECT_EQ(trc.CurrentLevel(), 2);
}

TEST(TraceWindow, ListTakesAtMostTheLast2000AndStaysBounded)
{
    tracetest::ManualClock clock(At(2026, 1, 1));
    TVisualTrace trc;
    OnScreen(trc);
    std::string text;
    for (int i = 0; i < 2500; ++i)
        text += "n" + std::to_string(i) + "\r\n";
    trc.Add(1, {}, text, true);
    ASSERT_EQ(trc.PendingLines().size(), 2500u);
    trc.Flush();
    QListWidget *lb = trc.Frame()->lb;
    ASSERT_EQ(lb->count(), 2000);
    EXPECT_TRUE(lb->item(0)->text().endsWith(" n500"));
    EXPECT_TRUE(lb->item(1999)->text().endsWith(" n2499"));

    // Line by line, the 2101st line drops the first 100.
    text.clear();
    for (int i = 0; i < 150; ++i)
        text += "m" + std::to_string(i) + "\r\n";
    trc.Add(1, {}, text, true);
    trc.Flush();
    ASSERT_EQ(lb->count(), 2050);
    EXPECT_TRUE(lb->item(0)->text().endsWith(" n600"));
    EXPECT_TRUE(lb->item(2049)->text().endsWith(" m149"));

    trc.Frame()->bbClear->click();
    EXPECT_EQ(lb->count(), 0);
}

TEST(TraceWindow, SteadyStreamStillFlushesWithinAboutAHundredMs)
{
    TVisualTrace trc;
    OnScreen(trc);
    QListWidget *lb = trc.Frame()->lb;

    // An add every 20 ms must not keep pushing the one-shot flush away.
    QElapsedTimer t;
    t.start();
    qint64 firstShown = -1;
    int added = 0;
    while (t.elapsed() < 800) {
        if (t.elapsed() >= added * 20) {
            trc.Add(1, {}, "tick " + std::to_string(added));
            ++added;
        }
        if (firstShown < 0 && lb->count() > 0)
            firstShown = t.elapsed();
        QApplication::processEvents(QEventLoop::AllEvents, 2);
    }
    ASSERT_GE(firstShown, 0) << "never flushed";
    EXPECT_GE(firstShown, 90);
    EXPECT_LE(firstShown, 400); // generous: the machine may be busy
    ASSERT_TRUE(WaitFor([&] { return lb->count() == added; }, 2000));
}

TEST(TraceWindow, TimerStartsOnlyForQueuedLinesAndOnTheGuiThread)
{
    TVisualTrace trc;
    trc.SetToScreen(true);
    trc.Add(0, {}, "inactive");
    EXPECT_FALSE(trc.Frame()->tmFlush->isActive());
    OnScreen(trc);
    trc.Add(2, {}, "above the level");
    EXPECT_FALSE(trc.Frame()->tmFlush->isActive());

    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            trc.Add(1, {}, "from worker " + std::to_string(i));
    });
    worker.join();
    EXPECT_TRUE(WaitFor([&] { return trc.Frame()->lb->count() == 50; }, 3000));
    EXPECT_TRUE(trc.PendingLines().empty());
    trc.Add(0, {}, ""); // an empty text still asks for a flush
    EXPECT_TRUE(trc.Frame()->tmFlush->isActive());
}

TEST(TraceWindow, SaveWritesTheListToATimedFile)
{
    TempDir dir;
    tracetest::ManualClock clock(At(2027, 1, 5, 13, 7, 9, 4));
    TVisualTrace trc;
    trc.SetDataFileName(dir.File("a.log"));
    trc.Frame()->lb->addItems({"first", "second"});
    trc.Frame()->bbSave->click(); // inactive: nothing
    const std::string saved = dir.File("2027_01_05_a_at_2027-01-05-13-07-09-004.log");
    EXPECT_FALSE(testutil::FileExists(saved));
    trc.Activate();
    trc.Frame()->bbSave->click();
    EXPECT_EQ(testutil::ReadFile(saved), "first\r\nsecond\r\n");
    // Saving again replaces the file.
    std::unique_ptr<QListWidgetItem>(trc.Frame()->lb->takeItem(0)).reset();
    trc.SaveListBox();
    EXPECT_EQ(testutil::ReadFile(saved), "second\r\n");

    // A place that cannot be written: the error is shown, not thrown into Qt.
    testutil::WriteFile(dir.File("blocker"), "");
    trc.SetDataFileName(dir.File("blocker/a.log"));
    EXPECT_THROW(trc.SaveListBox(), platform::EFCreateError);
    trc.Frame()->bbSave->click();
    auto *box = trc.Frame()->findChild<QMessageBox *>("msgSaveError");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().contains("blocker/2027_01_05_a_at_"));
    box->close();
}

TEST(TraceWindow, ClassCheckListFollowsTheClassList)
{
    TempDir dir;
    TVisualTrace trc;
    trc.SetINIFileName(dir.File("t.ini"));
    trc.SetUseIniFile(true);
    OnScreen(trc, 7);
    trc.AddClass(tcCalledFunctions, "Called functions");
    QListWidget *cl = trc.Frame()->clCls;
    ASSERT_EQ(cl->count(), 1);
    EXPECT_EQ(cl->item(0)->text(), "Called functions");
    EXPECT_EQ(cl->item(0)->checkState(), Qt::Checked);

    cl->item(0)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(trc.IsClassEnabled(tcCalledFunctions));
    trc.Add(5, {tcCalledFunctions}, "hidden");
    EXPECT_TRUE(trc.PendingLines().empty());
    EXPECT_FALSE(platform::TMemIniFile(dir.File("t.ini")).ReadBool("TraceClasses", "CalledFunctions", true));
}

class TraceCopy : public ::testing::Test {
protected:
    TraceCopy() { QGuiApplication::clipboard()->setText("stale"); }
    QString Clipboard() const { return QGuiApplication::clipboard()->text(); }
    TVisualTrace trc;
    QListWidget *lb = trc.Frame()->lb;
};

TEST_F(TraceCopy, SelectedLinesUpToTheByteLimit)
{
    QStringList lines;
    for (int i = 0; i < 2000; ++i)
        lines << QString("%1").arg(i, 97, 10, QChar('0'));
    lb->addItems(lines);
    lb->selectAll();
    trc.Frame()->bbCopy->click();
    const QStringList got = Clipboard().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(got.size(), 999); // the 1000th line would bring the total to 100000
    EXPECT_EQ(got.front(), lines.front());
    EXPECT_EQ(got.back(), lines[998]);
    EXPECT_FALSE(Clipboard().contains('\r'));
    // The text itself ends every line with CR LF.
    EXPECT_EQ(ListBoxCopyText(lb, 210, false),
              lines[0].toStdString() + "\r\n" + lines[1].toStdString() + "\r\n");
}

TEST_F(TraceCopy, OnlySelectedLinesEachCutTo255)
{
    lb->addItems({"one", QString(300, 'w'), "three"});
    trc.Frame()->bbCopy->click();
    EXPECT_EQ(Clipboard(), ""); // no selection: an empty text
    lb->item(1)->setSelected(true);
    lb->item(2)->setSelected(true);
    trc.Frame()->bbCopy->click();
    EXPECT_EQ(Clipboard(), QString(255, 'w') + "\nthree\n");
    EXPECT_EQ(ListBoxCopyText(lb, 100000, true), "one\r\n" + std::string(255, 'w') + "\r\nthree\r\n");

    lb->setSelectionMode(QAbstractItemView::SingleSelection); // not multi-select: every line
    EXPECT_EQ(ListBoxCopyText(lb, 100000, false).substr(0, 5), "one\r\n");
    EXPECT_EQ(ListBoxCopyText(nullptr, 100000, true), "");
}

TEST(TraceWindowLife, DestructionFlushesAndClearsGlobalTrace)
{
    TempDir dir;
    tracetest::ManualClock clock(At(2026, 3, 2));
    {
        TVisualTrace trc;
        trc.SetDataFileName(dir.File("Shot.Trace.txt"));
        trc.SetToFile(true);
        trc.SetCurrentLevel(0);
        trc.Activate();
        GlobalTrace = &trc;
        trc.Add(0, {}, "pending at the end");
        EXPECT_TRUE(trc.Frame()->tmFlush->isActive());
    }
    EXPECT_EQ(GlobalTrace.load(), nullptr);
    EXPECT_EQ(testutil::ReadFile(dir.File("2026_03_02_Shot.Trace.txt")),
              tracetest::Prefix(At(2026, 3, 2)) + "pending at the end\r\n");
    QApplication::processEvents(); // no timer of the gone frame may fire
}

} // namespace

// The trace component as a widget: controls, bounded list, flush timer, save and copy.
#include "TestUtil.h"
#include "TraceTestUtil.h"
#include "platform/core/Exceptions.h"
#include "support/QX_VisualTrace.h"
#include <QtWidgets>
#include <gtest/gtest.h>
#include <thread>

using namespace support;
using testutil::TempDir;
using tracetest::At;

namespace {
template <class Pred> bool WaitFor(Pred done, int ms)
{
    QElapsedTimer t;
    for (t.start(); !done() && t.elapsed() <= ms;)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

void OnScreen(TVisualTrace &trc) { trc.SetToScreen(true), trc.SetCurrentLevel(1), trc.Activate(); }

// Level, its caption, screen, file and scroll, as the component and as its controls show them.
auto Component(TVisualTrace &t)
{
    return std::make_tuple(t.CurrentLevel(), t.Frame()->stLevel->text().toStdString(), t.ToScreen(), t.ToFile(), t.Scroll());
}

TEST(TraceWindow, ControlsChangeTheComponentAndTheIniFileUnlessDetached)
{
    TempDir dir;
    TVisualTrace trc;
    TfrVisualTrace *fr = trc.Frame();
    trc.SetINIFileName(dir.File("t.ini")), trc.SetUseIniFile(true), trc.Activate();
    fr->tbLevel->setValue(6), fr->cbScreen->click();
    EXPECT_EQ(Component(trc), std::make_tuple(6, std::string("6"), true, false, true));
    EXPECT_EQ(testutil::ReadFile(dir.File("t.ini")), "[Trace]\nLevel=6\nScreen=1\nFile=0\n\n");
    // UserCanChange false detaches level, screen and file; scroll keeps its handler, which copies every control.
    trc.SetUserCanChange(false);
    EXPECT_FALSE(fr->tbLevel->isEnabled() || fr->cbScreen->isEnabled() || fr->cbFile->isEnabled());
    fr->tbLevel->setValue(4), fr->cbFile->setChecked(true);
    EXPECT_EQ(Component(trc), std::make_tuple(6, std::string("6"), true, false, true));
    fr->cbScroll->click();
    EXPECT_EQ(Component(trc), std::make_tuple(4, std::string("4"), true, true, false));
    // The class check list follows the class list.
    trc.AddClass(tcCalledFunctions, "Called functions");
    fr->clCls->item(0)->setCheckState(Qt::Unchecked);
    trc.Add(5, {tcCalledFunctions}, "hidden");
    EXPECT_TRUE(trc.PendingLines().empty());
}

TEST(TraceWindow, ListKeepsTheLast2000Lines)
{
    tracetest::ManualClock clock(At(2026, 1, 1));
    TVisualTrace trc;
    OnScreen(trc);
    QListWidget *lb = trc.Frame()->lb;
    std::string text;
    for (int i = 0; i < 2500; ++i)
        text += "n" + std::to_string(i) + "\r\n";
    trc.Add(1, {}, text, true), trc.Flush();
    ASSERT_EQ(lb->count(), 2000);
    EXPECT_EQ(lb->item(0)->text().split(' ').last() + " " + lb->item(1999)->text().split(' ').last(), "n500 n2499");
}

TEST(TraceWindow, TimerStartsOnlyForQueuedLinesAndDestructionFlushes)
{
    TempDir dir;
    tracetest::ManualClock clock(At(2026, 3, 2));
    {
        TVisualTrace trc;
        trc.SetDataFileName(dir.File("Shot.Trace.txt")), trc.SetToFile(true), OnScreen(trc);
        trc.Add(2, {}, "above the level");
        EXPECT_FALSE(trc.Frame()->tmFlush->isActive());
        // Lines from another thread reach the list through the GUI thread's timer.
        std::thread worker([&] {
            for (int i = 0; i < 50; ++i)
                trc.Add(1, {}, "from worker " + std::to_string(i));
        });
        worker.join();
        EXPECT_TRUE(WaitFor([&] { return trc.Frame()->lb->count() == 50; }, 3000));
        EXPECT_TRUE(trc.PendingLines().empty());
        GlobalTrace = &trc, trc.Add(0, {}, "pending at the end");
    }
    EXPECT_EQ(GlobalTrace.load(), nullptr);
    const std::string log = testutil::ReadFile(dir.File("2026_03_02_Shot.Trace.txt"));
    EXPECT_TRUE(log.ends_with(tracetest::Prefix(At(2026, 3, 2)) + "pending at the end\r\n")) << log;
    QApplication::processEvents(); // no timer of the gone frame may fire
}

TEST(TraceWindow, SaveWritesTheListToATimedFileAndShowsFailures)
{
    TempDir dir;
    tracetest::ManualClock clock(At(2027, 1, 5, 13, 7, 9, 4));
    TVisualTrace trc;
    trc.SetDataFileName(dir.File("a.log"));
    trc.Frame()->lb->addItems({"first", "second"});
    const std::string saved = dir.File("2027_01_05_a_at_2027-01-05-13-07-09-004.log");
    trc.Activate(), trc.Frame()->bbSave->click();
    EXPECT_EQ(testutil::ReadFile(saved), "first\r\nsecond\r\n");
    delete trc.Frame()->lb->takeItem(0);
    trc.SaveListBox(); // replaces the file
    EXPECT_EQ(testutil::ReadFile(saved), "second\r\n");
    // An unwritable place: the error is shown, not thrown into Qt.
    testutil::WriteFile(dir.File("blocker"), ""), trc.SetDataFileName(dir.File("blocker/a.log"));
    EXPECT_THROW(trc.SaveListBox(), platform::EFCreateError);
    trc.Frame()->bbSave->click();
    auto *box = trc.Frame()->findChild<QMessageBox *>("msgSaveError");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().contains("blocker/2027_01_05_a_at_"));
    box->close();
}

TEST(TraceWindow, CopyTakesSelectedLinesCutTo255UpToTheByteLimit)
{
    QGuiApplication::clipboard()->setText("stale");
    auto clip = [] { return QGuiApplication::clipboard()->text(); };
    TVisualTrace trc;
    QListWidget *lb = trc.Frame()->lb;
    lb->addItems({"one", QString(300, 'w'), "three"});
    trc.Frame()->bbCopy->click();
    EXPECT_EQ(clip(), ""); // no selection: an empty text
    lb->item(1)->setSelected(true), lb->item(2)->setSelected(true), trc.Frame()->bbCopy->click();
    EXPECT_EQ(clip(), QString(255, 'w') + "\nthree\n");
    // The text itself ends lines with CR LF; not multi-select copies every line.
    EXPECT_EQ(ListBoxCopyText(lb, 100000, true), "one\r\n" + std::string(255, 'w') + "\r\nthree\r\n");
    lb->clear();
    QStringList lines;
    for (int i = 0; i < 2000; ++i)
        lines << QString("%1").arg(i, 97, 10, QChar('0'));
    lb->addItems(lines), lb->selectAll(), trc.Frame()->bbCopy->click();
    const QStringList got = clip().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(got.size(), 999); // the 1000th line would bring the total to 100000
    EXPECT_EQ(got.back(), lines[998]);
}
} // namespace

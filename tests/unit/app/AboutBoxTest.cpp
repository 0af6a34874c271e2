// The about dialog: its texts, the links underlined only under the mouse and
// opened through the desktop's opener, and its modal, centred showing.
#include "app/fm_AboutBox.h"
#include "app/fm_Settings.h"

#include "SettingsAboutTestUtil.h"
#include "TestUtil.h"

#include <QEnterEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sys/stat.h>

using namespace app;
using namespace settingsabout_test;

namespace {

bool Underlined(const QLabel *l) { return l->font().underline(); }

void Hover(QWidget *w, bool enter)
{
    if (enter) {
        QEnterEvent e(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QApplication::sendEvent(w, &e);
    } else {
        QEvent e(QEvent::Leave);
        QApplication::sendEvent(w, &e);
    }
}

void Click(QWidget *w)
{
    const QPointF at(3, 3);
    QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

// A stand-in "xdg-open" first on PATH that records its arguments, one per line.
class FakeOpener {
public:
    FakeOpener()
    {
        const std::string script = dir_.File("xdg-open");
        testutil::WriteFile(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '" +
                                        dir_.File("calls.txt") + "'\n");
        ::chmod(script.c_str(), 0755);
        const char *old = std::getenv("PATH");
        oldPath_ = old ? old : "";
        ::setenv("PATH", (dir_.Path() + ":" + oldPath_).c_str(), 1);
    }
    ~FakeOpener() { ::setenv("PATH", oldPath_.c_str(), 1); }
    // The recorded calls once `n` lines arrived (or what there is after a wait).
    std::string Calls(int n, int ms = 5000)
    {
        WaitFor([&] {
            const std::string s = testutil::FileExists(dir_.File("calls.txt")) ? testutil::ReadFile(dir_.File("calls.txt")) : "";
            return std::count(s.begin(), s.end(), '\n') >= n;
        }, ms);
        return testutil::FileExists(dir_.File("calls.txt")) ? testutil::ReadFile(dir_.File("calls.txt")) : "";
    }

private:
    testutil::TempDir dir_;
    std::string oldPath_;
};

} // namespace

TEST(AboutBox, ShowsTheCaptionVersionAndTheFixedTexts)
{
    TfmAboutBox f;
    EXPECT_EQ(f.windowTitle(), "About");
    EXPECT_EQ(Ctl<QLabel>(f, "lbProgramVersion")->text(), "Korvane ScreenShot - Ver. 2.0");
    EXPECT_EQ(Ctl<QLabel>(f, "Label1")->text(), "Comments/questions can be sent to:");
    EXPECT_EQ(Ctl<QLabel>(f, "lbFreeware")->text(), "This is a freeware tool - free of charge - no costs for you !");
    EXPECT_EQ(Ctl<QLabel>(f, "lbPayPal")->text(), "You can support this project by making a donation via PayPal:");
    EXPECT_EQ(Ctl<QLabel>(f, "lbUSD")->text(), "US Dollars:");
    EXPECT_EQ(Ctl<QLabel>(f, "lbEuro")->text(), "Euro:");
    EXPECT_EQ(Ctl<QPushButton>(f, "btClose")->text(), "Close");
    EXPECT_EQ(Ctl<QLabel>(f, "lbWebSite")->text(), "https://korvane-screenshot.example/");
    EXPECT_EQ(Ctl<QLabel>(f, "lbMailTo")->text(), "feedback@korvane-screenshot.example");
    EXPECT_EQ(Ctl<QLabel>(f, "lbCopyRight")->text(), "Copyright (C) 2026 the Korvane ScreenShot developers");
    EXPECT_FALSE(Ctl<QLabel>(f, "lbDLL")->text().isEmpty());
    EXPECT_NE(Ctl<QLabel>(f, "lbJASPER")->text().indexOf("libjpeg"), -1);
    EXPECT_FALSE(Ctl<QLabel>(f, "imDonateUSD")->pixmap().isNull());
    EXPECT_FALSE(Ctl<QLabel>(f, "imDonateEuro")->pixmap().isNull());
    // Nothing is shown as rich text, and the sponsor panel stays empty.
    for (const QLabel *l : f.findChildren<QLabel *>())
        EXPECT_EQ(l->textFormat(), Qt::PlainText) << l->objectName().toStdString();
    EXPECT_TRUE(Ctl<QFrame>(f, "pnSponsor")->children().isEmpty());
    EXPECT_EQ(f.palette().color(QPalette::Window), QColor(0x47, 0x00, 0xB8));
    EXPECT_EQ(Ctl<QFrame>(f, "pnMain")->palette().color(QPalette::Window), QColor(0x5F, 0x5F, 0x5F));
    EXPECT_EQ(f.size(), QSize(491, 479));
}

TEST(AboutBox, LinksAreUnderlinedOnlyUnderTheMouse)
{
    TfmAboutBox f;
    f.show();
    for (const char *name : {"lbWebSite", "lbMailTo"}) {
        QLabel *link = Ctl<QLabel>(f, name);
        EXPECT_FALSE(Underlined(link)) << name;
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor) << name;
        Hover(link, true);
        EXPECT_TRUE(Underlined(link)) << name;
        Hover(link, false);
        EXPECT_FALSE(Underlined(link)) << name;
    }
    // A plain label does not react.
    QLabel *plain = Ctl<QLabel>(f, "lbCopyRight");
    Hover(plain, true);
    EXPECT_FALSE(Underlined(plain));
}

TEST(AboutBox, ClicksOpenTheAddressesThroughTheDesktopOpener)
{
    FakeOpener opener;
    TfmAboutBox f;
    f.show();
    Click(Ctl<QLabel>(f, "lbWebSite"));
    EXPECT_EQ(opener.Calls(1), "https://korvane-screenshot.example/\n");
    Click(Ctl<QLabel>(f, "lbMailTo"));
    Click(Ctl<QLabel>(f, "imDonateUSD"));
    Click(Ctl<QLabel>(f, "imDonateEuro"));
    const std::string calls = opener.Calls(4);
    // The opener runs detached, so the order of the last three is not fixed.
    for (const char *want : {"mailto:feedback@korvane-screenshot.example\n",
                             "https://korvane-screenshot.example/donate?currency=USD\n",
                             "https://korvane-screenshot.example/donate?currency=EUR\n"})
        EXPECT_NE(calls.find(want), std::string::npos) << calls;
    // A click on a plain label opens nothing.
    Click(Ctl<QLabel>(f, "lbCopyRight"));
    EXPECT_EQ(std::count(calls.begin(), calls.end(), '\n'), 4);
    EXPECT_EQ(opener.Calls(5, 500), calls);
}

TEST(AboutBox, ShowAboutBoxIsModalCentredAndClosesWithClose)
{
    QPoint centre;
    bool modal = false;
    OnNextModal(nullptr, [&](QWidget *w) {
        modal = fmAboutBox == w && w->isModal();
        centre = w->frameGeometry().center();
        Ctl<QPushButton>(*w, "btClose")->click();
    });
    ShowAboutBox(nullptr);
    EXPECT_TRUE(modal);
    EXPECT_EQ(fmAboutBox, nullptr);
    const QPoint want = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((centre - want).manhattanLength(), 2);
}

// The about dialog: its texts, and links underlined under the mouse and opened by the desktop.
#include "app/fm_AboutBox.h"

#include "AppTestUtil.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace app;
using namespace apptest;

namespace {

void Hover(QWidget *w, bool enter)
{
    QEnterEvent in(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QEvent out(QEvent::Leave);
    QApplication::sendEvent(w, enter ? static_cast<QEvent *>(&in) : &out);
}

void Click(QWidget *w)
{
    for (auto [type, buttons] : {std::pair{QEvent::MouseButtonPress, Qt::LeftButton}, {QEvent::MouseButtonRelease, Qt::NoButton}}) {
        QMouseEvent e(type, QPointF(3, 3), w->mapToGlobal(QPointF(3, 3)), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
}

} // namespace

TEST(AboutBox, ShowsTheCaptionAndLibrariesAsPlainText)
{
    TfmAboutBox f;
    EXPECT_EQ(Ctl<QLabel>(f, "lbProgramVersion")->text(), "Korvane ScreenShot - Ver. 2.0");
    EXPECT_NE(Ctl<QLabel>(f, "lbJASPER")->text().indexOf("libjpeg"), -1);
    for (const QLabel *l : f.findChildren<QLabel *>())
        EXPECT_EQ(l->textFormat(), Qt::PlainText) << l->objectName().toStdString();
}

TEST(AboutBox, LinksAreUnderlinedUnderTheMouseAndClicksOpenTheAddresses)
{
    TFakeProgram opener("xdg-open");
    TfmAboutBox f;
    f.show();
    // A plain label neither reacts nor opens anything.
    for (const char *name : {"lbWebSite", "lbMailTo", "lbCopyRight"}) {
        QLabel *link = Ctl<QLabel>(f, name);
        const bool isLink = name != std::string("lbCopyRight");
        EXPECT_EQ(link->cursor().shape() == Qt::PointingHandCursor, isLink) << name;
        for (bool in : {true, false}) {
            Hover(link, in);
            EXPECT_EQ(link->font().underline(), in && isLink) << name;
        }
    }
    // The website click is pinned by the e2e test_actions; a plain label opens nothing.
    for (const char *name : {"lbCopyRight", "lbMailTo", "imDonateUSD", "imDonateEuro"})
        Click(Ctl<QLabel>(f, name));
    const std::string calls = opener.Calls(3);
    // The opener runs detached, so the order is not fixed.
    for (const char *want : {"mailto:feedback@korvane-screenshot.example\n",
                             "https://korvane-screenshot.example/donate?currency=USD\n",
                             "https://korvane-screenshot.example/donate?currency=EUR\n"})
        EXPECT_NE(calls.find(want), std::string::npos) << calls;
    EXPECT_EQ(opener.Calls(4, 500), calls);
}

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

TEST(AboutBox, ShowsTheCaptionVersionAndTheFixedTexts)
{
    TfmAboutBox f;
    const std::pair<const char *, const char *> texts[] = {
        {"lbProgramVersion", "Korvane ScreenShot - Ver. 2.0"}, {"Label1", "Comments/questions can be sent to:"},
        {"lbFreeware", "This is a freeware tool - free of charge - no costs for you !"},
        {"lbPayPal", "You can support this project by making a donation via PayPal:"}, {"lbUSD", "US Dollars:"},
        {"lbEuro", "Euro:"}, {"lbWebSite", "https://korvane-screenshot.example/"},
        {"lbMailTo", "feedback@korvane-screenshot.example"},
        {"lbCopyRight", "Copyright (C) 2026 the Korvane ScreenShot developers"}};
    for (const auto &[name, text] : texts)
        EXPECT_EQ(Ctl<QLabel>(f, name)->text(), text) << name;
    EXPECT_EQ(f.windowTitle() + Ctl<QPushButton>(f, "btClose")->text(), "AboutClose");
    EXPECT_FALSE(Ctl<QLabel>(f, "lbDLL")->text().isEmpty());
    EXPECT_NE(Ctl<QLabel>(f, "lbJASPER")->text().indexOf("libjpeg"), -1);
    EXPECT_FALSE(Ctl<QLabel>(f, "imDonateUSD")->pixmap().isNull() || Ctl<QLabel>(f, "imDonateEuro")->pixmap().isNull());
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
    Click(Ctl<QLabel>(f, "lbCopyRight"));
    Click(Ctl<QLabel>(f, "lbWebSite"));
    EXPECT_EQ(opener.Calls(1), "https://korvane-screenshot.example/\n");
    for (const char *name : {"lbMailTo", "imDonateUSD", "imDonateEuro"})
        Click(Ctl<QLabel>(f, name));
    const std::string calls = opener.Calls(4);
    // The opener runs detached, so the order of the last three is not fixed.
    for (const char *want : {"mailto:feedback@korvane-screenshot.example\n",
                             "https://korvane-screenshot.example/donate?currency=USD\n",
                             "https://korvane-screenshot.example/donate?currency=EUR\n"})
        EXPECT_NE(calls.find(want), std::string::npos) << calls;
    EXPECT_EQ(opener.Calls(5, 500), calls);
}

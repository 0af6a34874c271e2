// The about dialog: its caption, and links opened by the desktop.
#include "app/fm_AboutBox.h"

#include "AppTestUtil.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace app;
using namespace apptest;

namespace {

void Click(QWidget *w)
{
    for (auto [type, buttons] : {std::pair{QEvent::MouseButtonPress, Qt::LeftButton}, {QEvent::MouseButtonRelease, Qt::NoButton}}) {
        QMouseEvent e(type, QPointF(3, 3), w->mapToGlobal(QPointF(3, 3)), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
}

} // namespace

// The caption: the e2e test_actions (the mail subject) and the menu tests.
TEST(AboutBox, ClicksOpenTheAddresses)
{
    TFakeProgram opener("xdg-open");
    TfmAboutBox f;
    f.show();
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

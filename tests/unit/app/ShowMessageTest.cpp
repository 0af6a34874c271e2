#include "app/fm_ShowMessageToUser.h"

#include "app/ModalRunner.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace app;

// CR LF lines shown as lines under the title: CaptureActionsLoop.FailureIsShownUnderTheApplicationTitle.
TEST(ShowMessage, MarkupIsShownAsPlainText)
{
    const std::string markup = "<b>bold</b> <img src=\"/etc/passwd\"> &amp;";
    int shown = 0;
    TScopedModalRunner runner([&](QDialog &d) {
        auto &f = dynamic_cast<TfmShowMessageToUser &>(d);
        ++shown;
        EXPECT_EQ(f.lbMsg()->textFormat(), Qt::PlainText);
        EXPECT_EQ(f.windowTitle() + f.lbMsg()->text(), "<i>t</i>" + QString::fromStdString(markup));
        return 1;
    });
    ShowMessageToUser("<i>t</i>", markup);
    EXPECT_EQ(shown, 1);
}

TEST(ShowMessage, TheFormFitsItsPanelsWithTheSameMarginAllRound)
{
    for (const std::string text : {"One line", "Exception: 'Unsupported pixel format'\r\nDestination folder: "
                                               "'/tmp/shots'\r\nFile name: '/tmp/shots/Image_00001.PNG'"}) {
        TfmShowMessageToUser f;
        f.Prepare("t", text);
        const QRect main = f.pnMain()->geometry(), buttons = f.pnButtons()->geometry();
        const QRect label = f.lbMsg()->geometry();
        EXPECT_EQ(main.topLeft(), QPoint(5, 5));
        EXPECT_EQ(QRect(buttons.left(), main.top(), main.width(), buttons.bottom() - main.top() + 1),
                  QRect(QPoint(5, 5), f.size() - QSize(10, 10)))
            << text; // below the buttons, as left of and above the panels: 5 pixels
        EXPECT_EQ(main.size(), QSize(label.right() + 1 + 25, label.bottom() + 1 + 25)) << text;
        EXPECT_EQ(buttons.top(), main.bottom() + 1 + 5);
    }
}

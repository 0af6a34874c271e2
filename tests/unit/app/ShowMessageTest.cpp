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

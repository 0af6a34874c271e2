#include "app/fm_ShowMessageToUser.h"

#include "app/ModalRunner.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace app;

namespace {
// The form as it was shown.
struct Seen {
    QString title, text, ok;
    Qt::TextFormat format = Qt::AutoText;
};

Seen Show(const std::string &title, const std::string &message)
{
    Seen s;
    int shown = 0;
    TScopedModalRunner runner([&](QDialog &d) {
        auto &f = dynamic_cast<TfmShowMessageToUser &>(d);
        ++shown;
        s = {f.windowTitle(), f.lbMsg()->text(), f.btOK()->text(), f.lbMsg()->textFormat()};
        return 1;
    });
    ShowMessageToUser(title, message);
    EXPECT_EQ(shown, 1);
    return s;
}
} // namespace

TEST(ShowMessage, CrLfLinesBecomeLines)
{
    const Seen one = Show("Korvane ScreenShot", "Exception: 'x'");
    EXPECT_EQ(one.title + one.text + one.ok, "Korvane ScreenShotException: 'x'OK");
    // CR LF lines become separate lines.
    const Seen three = Show("t", "Exception: 'x'\r\nline two\r\nline three");
    EXPECT_EQ(three.text, "Exception: 'x'\nline two\nline three");
}

TEST(ShowMessage, MarkupIsShownAsPlainText)
{
    const std::string markup = "<b>bold</b> <img src=\"/etc/passwd\"> &amp;";
    const Seen s = Show("<i>t</i>", markup);
    EXPECT_EQ(s.format, Qt::PlainText);
    EXPECT_EQ(s.title + s.text, "<i>t</i>" + QString::fromStdString(markup));
}

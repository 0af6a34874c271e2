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
    QRect label;
    QSize form;
};

Seen Show(const std::string &title, const std::string &message)
{
    Seen s;
    int shown = 0;
    TScopedModalRunner runner([&](QDialog &d) {
        auto &f = dynamic_cast<TfmShowMessageToUser &>(d);
        ++shown;
        s = {f.windowTitle(), f.lbMsg()->text(), f.btOK()->text(), f.lbMsg()->textFormat(), f.lbMsg()->geometry(), f.size()};
        return 1;
    });
    ShowMessageToUser(title, message);
    EXPECT_EQ(shown, 1);
    return s;
}
} // namespace

TEST(ShowMessage, PanelsAndFormFollowTheText)
{
    const Seen one = Show("Korvane ScreenShot", "Exception: 'x'");
    EXPECT_EQ(one.title + one.text + one.ok, "Korvane ScreenShotException: 'x'OK");
    // CR LF lines become separate lines: a taller form.
    const Seen three = Show("t", "Exception: 'x'\r\nline two\r\nline three");
    EXPECT_EQ(three.text, "Exception: 'x'\nline two\nline three");
    EXPECT_GT(three.label.height(), 2 * one.label.height());
    EXPECT_GT(Show("t", std::string(300, 'W')).form.width(), 1000);
}

TEST(ShowMessage, MarkupIsShownAsPlainText)
{
    const std::string markup = "<b>bold</b> <img src=\"/etc/passwd\"> &amp;";
    const Seen s = Show("<i>t</i>", markup);
    EXPECT_EQ(s.format, Qt::PlainText);
    EXPECT_EQ(s.title + s.text, "<i>t</i>" + QString::fromStdString(markup));
}

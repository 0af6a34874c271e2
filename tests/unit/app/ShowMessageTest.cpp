#include "app/fm_ShowMessageToUser.h"

#include "app/ModalRunner.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace app;

namespace {
// The form as it was shown.
struct Seen {
    QString title, text;
    Qt::TextFormat format = Qt::AutoText;
    QRect label, main, buttons, shape1, shape2, ok;
    QSize form;
};

Seen Show(const std::string &title, const std::string &message)
{
    Seen s;
    int shown = 0;
    TScopedModalRunner runner([&](QDialog &d) {
        auto &f = dynamic_cast<TfmShowMessageToUser &>(d);
        ++shown;
        s = {f.windowTitle(), f.lbMsg()->text(), f.lbMsg()->textFormat(), f.lbMsg()->geometry(),
             f.pnMain()->geometry(), f.pnButtons()->geometry(), f.Shape1()->geometry(), f.Shape2()->geometry(),
             f.btOK()->geometry(), f.size()};
        return 1;
    });
    ShowMessageToUser(title, message);
    EXPECT_EQ(shown, 1);
    // Panels, anchored lines and button follow the label.
    EXPECT_EQ(s.label.topLeft(), QPoint(8, 79));
    EXPECT_EQ(s.main, QRect(5, 5, 8 + s.label.width() + 25, 79 + s.label.height() + 25));
    EXPECT_EQ(s.buttons, QRect(5, s.main.bottom() + 1 + 5, s.main.width(), 40));
    EXPECT_EQ(s.form, QSize(5 + s.main.width() + 10, s.buttons.bottom() + 1 + 35));
    EXPECT_EQ(s.shape2, QRect(7, 72, s.main.width() - 16, 1));
    EXPECT_EQ(s.shape1, QRect(7, s.main.height() - 12, s.main.width() - 16, 1));
    EXPECT_EQ(s.ok, QRect(s.buttons.width() - 84, 7, 75, 25));
    return s;
}
} // namespace

TEST(ShowMessage, PanelsAndFormFollowTheText)
{
    std::string lines;
    for (int i = 0; i < 200; ++i)
        lines += "line\r\n";
    const Seen one = Show("Korvane ScreenShot", "Exception: 'x'");
    EXPECT_EQ(one.title, "Korvane ScreenShot");
    EXPECT_EQ(one.text, "Exception: 'x'");
    // CR LF lines become separate lines: a taller form.
    const Seen three = Show("t", "Exception: 'x'\r\nline two\r\nline three");
    EXPECT_EQ(three.text, "Exception: 'x'\nline two\nline three");
    EXPECT_GT(three.label.height(), 2 * one.label.height());
    EXPECT_GT(Show("t", std::string(300, 'W')).form.width(), 1000);
    EXPECT_GT(Show("t", lines + "end").form.height(), 200 * 10);
    // An empty message gives the smallest form: one empty line.
    const Seen empty = Show("", "");
    EXPECT_LT(empty.form.width(), 80);
    EXPECT_LT(empty.form.height(), 5 + 79 + 25 + 5 + 40 + 35 + 20);
}

TEST(ShowMessage, MarkupIsShownAsPlainText)
{
    const std::string markup = "<b>bold</b> <img src=\"/etc/passwd\"> &amp;";
    const Seen s = Show("<i>t</i>", markup);
    EXPECT_EQ(s.format, Qt::PlainText);
    EXPECT_EQ(s.text, QString::fromStdString(markup));
    EXPECT_EQ(s.title, "<i>t</i>");
    // As plain text the label is as wide as the markup's characters.
    QFont f = QApplication::font();
    f.setPixelSize(13);
    f.setBold(true);
    EXPECT_GE(s.label.width(), QFontMetrics(f).horizontalAdvance(QString::fromStdString(markup)) - 2);
}

TEST(ShowMessage, EnterAndEscapeBothClose)
{
    for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
        TfmShowMessageToUser form;
        form.Prepare("t", "m");
        EXPECT_EQ(form.btOK()->text(), "OK");
        QTimer::singleShot(0, &form, [&] {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QWidget *to = QApplication::focusWidget();
            QApplication::sendEvent(to ? to : &form, &press);
        });
        QTimer::singleShot(5000, &form, [&] { form.done(-1); });
        EXPECT_NE(form.exec(), -1) << "key " << key << " did not close the form";
        EXPECT_FALSE(form.isVisible());
    }
}

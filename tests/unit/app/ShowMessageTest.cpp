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
// What the form looked like when it was shown.
struct Seen {
    int shown = 0;
    QString title, text;
    Qt::TextFormat format = Qt::AutoText;
    QRect label, pnMain, pnButtons, shape1, shape2, ok;
    QSize form;
};

Seen Show(const std::string &title, const std::string &message)
{
    Seen s;
    TScopedModalRunner runner([&](QDialog &d) {
        auto &f = dynamic_cast<TfmShowMessageToUser &>(d);
        ++s.shown;
        s.title = f.windowTitle();
        s.text = f.lbMsg()->text();
        s.format = f.lbMsg()->textFormat();
        s.label = f.lbMsg()->geometry();
        s.pnMain = f.pnMain()->geometry();
        s.pnButtons = f.pnButtons()->geometry();
        s.shape1 = f.Shape1()->geometry();
        s.shape2 = f.Shape2()->geometry();
        s.ok = f.btOK()->geometry();
        s.form = f.size();
        return 1;
    });
    ShowMessageToUser(title, message);
    return s;
}

void ExpectSizedAfterLabel(const Seen &s)
{
    EXPECT_EQ(s.label.topLeft(), QPoint(8, 79));
    EXPECT_EQ(s.pnMain, QRect(5, 5, 8 + s.label.width() + 25, 79 + s.label.height() + 25));
    EXPECT_EQ(s.pnButtons, QRect(5, s.pnMain.bottom() + 1 + 5, s.pnMain.width(), 40));
    EXPECT_EQ(s.form, QSize(5 + s.pnMain.width() + 10, s.pnButtons.bottom() + 1 + 35));
    // Anchored lines and button follow their panels.
    EXPECT_EQ(s.shape2, QRect(7, 72, s.pnMain.width() - 16, 1));
    EXPECT_EQ(s.shape1, QRect(7, s.pnMain.height() - 12, s.pnMain.width() - 16, 1));
    EXPECT_EQ(s.ok, QRect(s.pnButtons.width() - 84, 7, 75, 25));
}
} // namespace

TEST(ShowMessage, PanelsAndFormFollowTheText)
{
    std::string lines;
    for (int i = 0; i < 200; ++i)
        lines += "line\r\n";
    const Seen one = Show("Korvane ScreenShot", "Exception: 'x'");
    const Seen three = Show("t", "Exception: 'x'\r\nline two\r\nline three");
    const Seen wide = Show("t", std::string(300, 'W'));
    const Seen tall = Show("t", lines + "end");
    const Seen empty = Show("", "");
    for (const Seen *s : {&one, &three, &wide, &tall, &empty})
        ExpectSizedAfterLabel(*s);
    EXPECT_EQ(one.shown, 1);
    EXPECT_EQ(one.title, "Korvane ScreenShot");
    EXPECT_EQ(one.text, "Exception: 'x'");
    // CR LF lines become separate lines: a taller form.
    EXPECT_EQ(three.text, "Exception: 'x'\nline two\nline three");
    EXPECT_GT(three.label.height(), 2 * one.label.height());
    EXPECT_GT(wide.form.width(), 1000);
    EXPECT_GT(tall.form.height(), 200 * 10);
    // An empty message gives the smallest form: one empty line.
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
    // Shown as plain text the label is as wide as the markup's characters.
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
            QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget()
                                                                : static_cast<QWidget *>(&form),
                                    &press);
        });
        QTimer::singleShot(5000, &form, [&] { form.done(-1); });
        const int rc = form.exec();
        EXPECT_NE(rc, -1) << "key " << key << " did not close the form";
        EXPECT_FALSE(form.isVisible());
    }
}

// The icon selection form, offscreen: list texts, the preview and its size limit, the colour dialog, and what the loader gets
// back (Cancel is the silent abort).
#include "imaging/MemStream.h"
#include "imaging/gui/ICOLoaderForm.h"
#include "ui_ICOLoaderForm.h"

#include <QApplication>
#include <QColorDialog>
#include <QTimer>

#include <gtest/gtest.h>

using namespace imaging;

namespace {

// Runs `action` on the next modal dialog once it is open.
void WhenModal(std::function<void(QWidget *)> action)
{
    auto *timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            timer->deleteLater();
            timer->stop();
            action(w);
        }
    });
    timer->start(5);
}

// Icons of the given sizes; pixels are palette entry 1 (dark green), all opaque but the bottom-left one.
void Fill(TIconList &list, std::uint8_t kind, std::initializer_list<std::array<int, 3>> sizes)
{
    list.Kind = kind;
    for (auto [w, h, bits] : sizes) {
        TIconImage &im = list.Add(w, h, bits);
        im.Palette[1] = {0, 0x80, 0, 1};
        for (int row = 0; row < h; ++row)
            for (int col = 0; col < w; ++col)
                im.XorBits[std::size_t(row * im.XorBytesPerLine + col * bits / 8)] = bits == 8 ? 1 : 0x11;
        im.AndBits[0] = 0x80;
    }
}

} // namespace

TEST(IconSelectionForm, ListsImagesWithKindText)
{
    for (const auto &[kind, first] : {std::pair<std::uint8_t, const char *>{TIconList::ikIcon, "Icon 32 x 32 4 bit"},
                                      {TIconList::ikCursor, "Cursor 32 x 32 4 bit"}, {TIconList::ikUnknown, " 32 x 32 4 bit"}}) {
        TIconList list;
        Fill(list, kind, {{32, 32, 4}, {16, 8, 8}});
        TIconSelectionForm form;
        form.Icons = &list;
        form.show();
        QComboBox *box = form.UI().SelectBox;
        EXPECT_EQ(box->count(), 2);
        EXPECT_EQ(box->itemText(0).toStdString(), first);
        EXPECT_TRUE(box->itemText(1).endsWith(" 16 x 8 8 bit"));
    }
    EXPECT_EQ(TIconSelectionForm().windowTitle().toStdString(), "Select icon to import from file");
}

// The preview is the image, at most 191 x 71 (clipped); it shows opaque pixels in their colour and the
// others in the chosen one, which the colour dialog changes when confirmed.
TEST(IconSelectionForm, PreviewAndColourDialog)
{
    TIconList list;
    Fill(list, TIconList::ikIcon, {{64, 64, 8}, {200, 100, 8}});
    TIconSelectionForm form;
    form.Icons = &list;
    form.show();
    TDoubleBufferedPanel *panel = form.UI().PanelFrame;
    EXPECT_EQ(panel->Bitmap.size(), QSize(64, 64));
    EXPECT_EQ(panel->Bitmap.pixel(0, 63), qRgb(0xFF, 0, 0xFF));
    EXPECT_EQ(panel->Bitmap.pixel(1, 63), qRgb(0, 0x80, 0));
    form.UI().SelectBox->setCurrentIndex(1);
    EXPECT_EQ(panel->Bitmap.size(), QSize(191, 71));
    EXPECT_EQ(panel->Bitmap.pixel(190, 70), qRgb(0, 0x80, 0)); // clipped, not wrapped
    EXPECT_EQ(form.UI().ColorLabel->text().toStdString(), "$FF00FF");
    form.UI().SelectBox->setCurrentIndex(0);
    for (bool accept : {false, true}) {
        WhenModal([&](QWidget *) {
            form.ColorDialog->setCurrentColor(QColor(0x12, 0x34, 0x56));
            accept ? form.ColorDialog->accept() : form.ColorDialog->reject();
        });
        form.UI().TransparentButton->click();
        EXPECT_EQ(form.UI().ColorLabel->text().toStdString(), accept ? "$123456" : "$FF00FF");
        EXPECT_EQ(form.ColorDialog->currentColor(), accept ? QColor(0x12, 0x34, 0x56) : QColor(0xFF, 0, 0xFF));
    }
    EXPECT_EQ(panel->Bitmap.pixel(0, 63), qRgb(0x12, 0x34, 0x56));
    EXPECT_EQ(form.UI().ColorPanel->palette().color(QPalette::Window), QColor(0x12, 0x34, 0x56));
}

// Through the loader: OK returns the selected image and colour; Cancel ends the load with the silent abort.
TEST(IconSelectionForm, ChoiceReachesTheLoader)
{
    TIconList list;
    Fill(list, TIconList::ikIcon, {{2, 2, 8}, {3, 1, 8}});
    TMemStream file;
    list.SaveToStream(file);
    const auto previous = SetIconSelectionHook(ShowIconSelectionForm);
    TICOLoader loader;
    loader.TransparentColor = 0x00FF00;
    TLinearBitmap bmp;
    WhenModal([](QWidget *w) {
        auto *form = qobject_cast<TIconSelectionForm *>(w);
        ASSERT_TRUE(form);
        EXPECT_EQ(form->ColorDialog->currentColor(), QColor(0, 0xFF, 0));
        form->UI().SelectBox->setCurrentIndex(1);
        form->ColorDialog->setCurrentColor(QColor(1, 2, 3));
        form->UI().OkButton->click();
    });
    file.Seek(0);
    loader.LoadFromStream(file, "ICO", bmp);
    EXPECT_EQ(bmp.Width, 3);
    EXPECT_EQ(loader.TransparentColor, 0x030201u);
    WhenModal([](QWidget *w) { qobject_cast<TIconSelectionForm *>(w)->UI().CancelButton->click(); });
    file.Seek(0);
    EXPECT_THROW(loader.LoadFromStream(file, "ICO", bmp), platform::EAbort);
    EXPECT_EQ(bmp.Width, 3);
    EXPECT_EQ(loader.TransparentColor, 0x030201u);
    SetIconSelectionHook(previous);
}

#include "imaging/gui/ICOLoaderForm.h"

#include "ui_ICOLoaderForm.h"

#include <QApplication>
#include <QColorDialog>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

namespace imaging {

namespace {

constexpr int kMaxPreviewWidth = 193, kMaxPreviewHeight = 73;

QColor FromColorRef(std::uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
std::uint32_t ToColorRef(const QColor &c)
{
    return static_cast<std::uint32_t>(c.red()) | static_cast<std::uint32_t>(c.green()) << 8 |
           static_cast<std::uint32_t>(c.blue()) << 16;
}

} // namespace

TIconSelectionForm::TIconSelectionForm(QWidget *parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TIconSelectionForm>())
{
    ui_->setupUi(this);
    // The layout was drawn for a small dialog font; with the desktop's font
    // the note may need more room: the form widens and the buttons, anchored
    // top right, move with its right edge.
    QLabel *note = ui_->Label1;
    note->resize(note->sizeHint().width(), note->height());
    const int extra = note->geometry().right() + 9 - width();
    if (extra > 0) {
        resize(width() + extra, height());
        for (QWidget *button : {ui_->OkButton, ui_->CancelButton})
            button->move(button->x() + extra, button->y());
    }
    setFixedSize(size());
    ui_->PanelFrame->BevelOuter = TBevelCut::bvLowered;
    ui_->PanelFrame->Resize();
    ColorDialog = new QColorDialog(FromColorRef(0xFF00FF), this);
    ColorDialog->setOption(QColorDialog::DontUseNativeDialog);
    QColorDialog::setCustomColor(0, QColor(0xFE, 0x00, 0xFF));
    connect(ui_->SelectBox, &QComboBox::currentIndexChanged, this, &TIconSelectionForm::SelectBoxChange);
    connect(ui_->TransparentButton, &QPushButton::clicked, this, &TIconSelectionForm::TransparentButtonClick);
    connect(ui_->OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    ui_->ColorPanel->installEventFilter(this);
}

TIconSelectionForm::~TIconSelectionForm() = default;

void TIconSelectionForm::showEvent(QShowEvent *event)
{
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    FormShow();
    QDialog::showEvent(event);
}

bool TIconSelectionForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui_->ColorPanel && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        TransparentButtonClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TIconSelectionForm::FormShow()
{
    QComboBox *box = ui_->SelectBox;
    {
        const QSignalBlocker block(box);
        box->clear();
        if (Icons) {
            const QString kind = Icons->Kind == TIconList::ikIcon     ? QStringLiteral("Icon")
                                 : Icons->Kind == TIconList::ikCursor ? QStringLiteral("Cursor")
                                                                      : QString();
            for (const auto &image : Icons->Images)
                box->addItem(QStringLiteral("%1 %2 x %3 %4 bit")
                                 .arg(kind)
                                 .arg(image->Width)
                                 .arg(image->Height)
                                 .arg(image->BitCount));
        }
        box->setCurrentIndex(0);
    }
    SelectBoxChange();
}

void TIconSelectionForm::SelectBoxChange()
{
    const int index = ui_->SelectBox->currentIndex();
    const QColor color = ColorDialog->currentColor();
    TDoubleBufferedPanel *panel = ui_->PanelFrame;
    if (Icons && index >= 0 && index < Icons->Count()) {
        const TIconImage &image = (*Icons)[index];
        panel->resize(std::min(image.Width + 2, kMaxPreviewWidth), std::min(image.Height + 2, kMaxPreviewHeight));
        panel->Canvas().fill(color);
        image.DrawMasked(panel->Canvas(), 0, 0);
        panel->update();
    }
    ui_->ColorLabel->setText(QStringLiteral("$%1").arg(color.rgb() & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper());
    ui_->ColorLabel->adjustSize();
    QPalette pal = ui_->ColorPanel->palette();
    pal.setColor(QPalette::Window, color);
    ui_->ColorPanel->setPalette(pal);
}

void TIconSelectionForm::TransparentButtonClick()
{
    const QColor before = ColorDialog->currentColor();
    if (ColorDialog->exec() == QDialog::Accepted)
        SelectBoxChange();
    else
        ColorDialog->setCurrentColor(before);
}

std::optional<TIconChoice> ShowIconSelectionForm(const TIconList &Icons, std::uint32_t Color)
{
    // Without a widget application there is nobody to ask: the first image.
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return TIconChoice{0, Color};
    TIconSelectionForm form;
    form.Icons = &Icons;
    form.ColorDialog->setCurrentColor(FromColorRef(Color));
    if (form.exec() != QDialog::Accepted)
        return std::nullopt;
    return TIconChoice{form.UI().SelectBox->currentIndex(), ToColorRef(form.ColorDialog->currentColor())};
}

} // namespace imaging

#include "app/fm_WhatToDo.h"

#include "app/CaptureFormStyle.h"
#include "app/CaptureTexts.h"
#include "app/CaptureActions.h"
#include "app/fm_AboutBox.h"
#include "app/fm_Banner.h"
#include "app/fm_Settings.h"
#include "platform/gui/ExceptionDisplay.h"
#include "support/dm_LNG.h"
#include "ui_fm_WhatToDo.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

namespace app {

TfmWhatToDo *fmWhatToDo = nullptr;

TfmWhatToDo::TfmWhatToDo(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui_(std::make_unique<Ui::TfmWhatToDo>())
{
    ui_->setupUi(this);
    FormCreate();
}

TfmWhatToDo::~TfmWhatToDo() = default;

void TfmWhatToDo::FormCreate()
{
    SetBackColor(this, clFormBack);
    SetBackColor(ui_->Panel1, clPanelBack);
    SetBackColor(ui_->pnSponsor, clPanelBack);
    auto *banner = new TfmBanner(this);
    banner->LoadBanner(bkSquare);
    banner->EmbedIn(ui_->pnSponsor);
    banner->SetColor(clPanelBack);
    for (QPushButton *b : {btSave(), btOpenFolder(), btCopyToClipboard(), btEMail(),
                           btRedoSelection(), btSettings(), btAbout(), btCancel()}) {
        b->setFont(BoldPixelFont(b->font(), 16));
        b->setAutoDefault(true);
    }
    setFixedSize(629, 229);
    // The logo stands upright in the narrow picture left of the buttons.
    const QPixmap logo(QStringLiteral(":/BITMAP/LOGO"));
    if (!logo.isNull()) {
        QLabel *im = ui_->Image1;
        im->setPixmap(logo.transformed(QTransform().rotate(-90))
                          .scaled(im->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
        im->setAlignment(Qt::AlignCenter);
    }
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());

    connect(btSave(), &QPushButton::clicked, this, &TfmWhatToDo::btSaveClick);
    connect(btCopyToClipboard(), &QPushButton::clicked, this, &TfmWhatToDo::btCopyToClipboardClick);
    connect(btEMail(), &QPushButton::clicked, this, &TfmWhatToDo::btEMailClick);
    connect(btRedoSelection(), &QPushButton::clicked, this, &TfmWhatToDo::btReDoSelectionClick);
    connect(btCancel(), &QPushButton::clicked, this, &TfmWhatToDo::btCancelClick);
    connect(btOpenFolder(), &QPushButton::clicked, this, &TfmWhatToDo::btOpenFolderClick);
    connect(btSettings(), &QPushButton::clicked, this, &TfmWhatToDo::btSettingsClick);
    connect(btAbout(), &QPushButton::clicked, this, &TfmWhatToDo::btAboutClick);
    SetTexts();
}

void TfmWhatToDo::SetTexts()
{
    setWindowTitle(QString::fromStdString(ApplicationTitle()));
    const struct {
        QPushButton *button;
        const char *text;
    } captions[] = {
        {btSave(), "Save"},
        {btOpenFolder(), "Open dest. folder"},
        {btCopyToClipboard(), "Copy to clipboard"},
        {btEMail(), "eMail"},
        {btRedoSelection(), "Redo selection"},
        {btSettings(), "Settings"},
        {btAbout(), "About"},
        {btCancel(), "Cancel"},
    };
    for (const auto &c : captions)
        c.button->setText(ToWidgetText(support::LngText(c.text)));
}

void TfmWhatToDo::SetChoice(std::uint8_t code)
{
    Choice = code;
    done(code);
}

void TfmWhatToDo::btReDoSelectionClick() { SetChoice(wtdRedo); }
void TfmWhatToDo::btEMailClick() { SetChoice(wtdEMail); }
void TfmWhatToDo::btCancelClick() { SetChoice(wtdCancel); }
void TfmWhatToDo::btSaveClick() { SetChoice(wtdSave); }
void TfmWhatToDo::btCopyToClipboardClick() { SetChoice(wtdClipboard); }

void TfmWhatToDo::btOpenFolderClick()
{
    OpenDestinationFolder(this);
}

void TfmWhatToDo::btSettingsClick()
{
    // Settings confirmed there apply to the next save of this same capture.
    // A failure is shown and the dialog stays, as after any other button.
    platform::RunShowingExceptions([this] { ShowSettings(this); });
}

void TfmWhatToDo::btAboutClick()
{
    platform::RunShowingExceptions([this] { ShowAboutBox(this); });
}

void TfmWhatToDo::keyPressEvent(QKeyEvent *e)
{
    // Escape is the Cancel button (choice 3); closing the window any other
    // way leaves the choice at 0.
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        if (btCancel()->isEnabled())
            btCancel()->click();
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TfmWhatToDo::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    // The first button in tab order has the focus, so Enter saves.
    btSave()->setFocus(Qt::OtherFocusReason);
    activateWindow();
}

QPushButton *TfmWhatToDo::btSave() const { return ui_->btSave; }
QPushButton *TfmWhatToDo::btOpenFolder() const { return ui_->btOpenFolder; }
QPushButton *TfmWhatToDo::btCopyToClipboard() const { return ui_->btCopyToClipboard; }
QPushButton *TfmWhatToDo::btEMail() const { return ui_->btEMail; }
QPushButton *TfmWhatToDo::btRedoSelection() const { return ui_->btRedoSelection; }
QPushButton *TfmWhatToDo::btSettings() const { return ui_->btSettings; }
QPushButton *TfmWhatToDo::btAbout() const { return ui_->btAbout; }
QPushButton *TfmWhatToDo::btCancel() const { return ui_->btCancel; }
QWidget *TfmWhatToDo::pnSponsor() const { return ui_->pnSponsor; }

} // namespace app

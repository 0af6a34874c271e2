#include "app/fm_ShowMessageToUser.h"

#include "app/CaptureFormStyle.h"
#include "app/CaptureTexts.h"
#include "support/Results.h"
#include "support/TextRoutines.h"
#include "support/dm_LNG.h"
#include "app/ModalRunner.h"
#include "ui_fm_ShowMessageToUser.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

namespace app {

namespace {
// Distances of the anchored controls from their panels' right and bottom
// edges, as the form resource places them.
constexpr int kShape2RightGap = 671 - 7 - 655;  // pnMain width - Left - Width
constexpr int kShape1RightGap = 671 - 7 - 655;
constexpr int kShape1BottomGap = 276 - 264;     // pnMain height - Top
constexpr int kOKRightGap = 481 - 397;          // pnButtons width - Left
} // namespace

TfmShowMessageToUser::TfmShowMessageToUser(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui_(std::make_unique<Ui::TfmShowMessageToUser>())
{
    ui_->setupUi(this);
    SetBackColor(this, clFormBack);
    SetBackColor(ui_->pnMain, clPanelBack);
    SetBackColor(ui_->Panel1, clPanelBack);
    SetBackColor(ui_->pnButtons, clPanelBack);
    SetBackColor(ui_->Shape1, 0xC0C0C0);
    SetBackColor(ui_->Shape2, 0xC0C0C0);
    ui_->lbMsg->setTextFormat(Qt::PlainText);
    ui_->lbMsg->setTextInteractionFlags(Qt::NoTextInteraction);
    ui_->lbMsg->setWordWrap(false);
    ui_->lbMsg->setFont(BoldPixelFont(ui_->lbMsg->font(), 13));
    SetTextColor(ui_->lbMsg, Qt::white);
    ui_->btOK->setDefault(true);
    const QPixmap logo(QStringLiteral(":/BITMAP/LOGO"));
    if (!logo.isNull())
        ui_->Image2->setPixmap(
            logo.scaled(ui_->Image2->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    connect(ui_->btOK, &QPushButton::clicked, this, &TfmShowMessageToUser::btOKClick);
}

TfmShowMessageToUser::~TfmShowMessageToUser() = default;

void TfmShowMessageToUser::Prepare(const std::string &title, const std::string &message)
{
    QLabel *lb = ui_->lbMsg;
    QWidget *pn = ui_->pnMain;
    QWidget *bt = ui_->pnButtons;

    lb->setText(ToWidgetText(message));
    lb->adjustSize();
    pn->resize(pn->width(), lb->y() + lb->height() + 25);
    pn->resize(lb->x() + lb->width() + 25, pn->height());
    bt->move(bt->x(), pn->y() + pn->height() + 5);
    bt->move(pn->x(), bt->y());
    bt->resize(pn->width(), bt->height());
    FollowAnchors();
    // The size set here is the inside of the window (its frame belongs to the
    // window manager): the panels keep the margin of pnMain on every side, so
    // no empty band is left below the buttons or beside the panels.
    const int margin = pn->x();
    setFixedSize(pn->x() + pn->width() + margin, bt->y() + bt->height() + margin);
    SetTexts();
    setWindowTitle(ToWidgetText(title));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TfmShowMessageToUser::FollowAnchors()
{
    const QWidget *pn = ui_->pnMain;
    ui_->Shape2->resize(pn->width() - ui_->Shape2->x() - kShape2RightGap, 1);
    ui_->Shape1->setGeometry(ui_->Shape1->x(), pn->height() - kShape1BottomGap,
                             pn->width() - ui_->Shape1->x() - kShape1RightGap, 1);
    ui_->btOK->move(ui_->pnButtons->width() - kOKRightGap, ui_->btOK->y());
}

void TfmShowMessageToUser::SetTexts()
{
    ui_->btOK->setText(ToWidgetText(support::LngText("OK")));
}

void TfmShowMessageToUser::btOKClick()
{
    accept();
}

QWidget *TfmShowMessageToUser::pnMain() const { return ui_->pnMain; }
QWidget *TfmShowMessageToUser::pnButtons() const { return ui_->pnButtons; }
QWidget *TfmShowMessageToUser::Shape1() const { return ui_->Shape1; }
QWidget *TfmShowMessageToUser::Shape2() const { return ui_->Shape2; }
QLabel *TfmShowMessageToUser::lbMsg() const { return ui_->lbMsg; }
QPushButton *TfmShowMessageToUser::btOK() const { return ui_->btOK; }

void ShowResult(const std::string &title, const support::TQXResultEx &result,
                const std::string &text)
{
    const std::string message =
        support::IsBlank(text)
            ? support::ResultToText(result, support::roCRLF | support::roDetail)
            : text;
    ShowMessageToUser(title, message);
}

void ShowMessageToUser(const std::string &title, const std::string &message)
{
    TfmShowMessageToUser form;
    form.Prepare(title, message);
    RunModal(form);
}

} // namespace app

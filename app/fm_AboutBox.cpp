#include "app/fm_AboutBox.h"

#include "app/SelfUnit.h"
#include "app/fm_Settings.h"
#include "app/fm_Banner.h"
#include "app/CaptureFormStyle.h"
#include "app/ModalRunner.h"
#include "support/DirShell.h"
#include "support/QX_CallStack.h"
#include "support/dm_LNG.h"
#include "ui_fm_AboutBox.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

namespace app {

TfmAboutBox *fmAboutBox = nullptr;

namespace {

QString Q(const std::string &s) { return QString::fromStdString(s); }

void SetForeground(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    w->setPalette(p);
}

void SetUnderline(QLabel *label, bool on)
{
    QFont f = label->font();
    f.setUnderline(on);
    label->setFont(f);
}

// A button-like picture for the donation links.
QPixmap DonateButtonPicture(const QSize &size)
{
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0x99, 0x66, 0x00));
    p.setBrush(QColor(0xFF, 0xC4, 0x39));
    p.drawRoundedRect(QRectF(0.5, 0.5, size.width() - 1.0, size.height() - 1.0), 8, 8);
    QFont f = p.font();
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0x00, 0x30, 0x87));
    p.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, QStringLiteral("Donate"));
    return pm;
}

} // namespace

TfmAboutBox::TfmAboutBox(QWidget *parent) : QDialog(parent), ui_(std::make_unique<Ui::TfmAboutBox>())
{
    ui_->setupUi(this);
    connect(ui_->btClose, &QPushButton::clicked, this, &TfmAboutBox::btCloseClick);
    for (QLabel *link : {ui_->lbWebSite, ui_->lbMailTo, ui_->imDonateUSD, ui_->imDonateEuro}) {
        link->setCursor(Qt::PointingHandCursor);
        link->installEventFilter(this);
    }
    FormCreate();
}

TfmAboutBox::~TfmAboutBox() = default;

void TfmAboutBox::FormCreate()
{
    SetBackColor(this, clFormBack);
    for (QWidget *panel : {static_cast<QWidget *>(ui_->pnSponsor), static_cast<QWidget *>(ui_->pnMain),
                           static_cast<QWidget *>(ui_->pnButtons)})
        SetBackColor(panel, clPanelBack);
    SetBackColor(ui_->Panel1, clFormBack);
    ui_->lbWebSite->setFont(BoldPixelFont(ui_->lbWebSite->font(), 16));
    ui_->Image2->setPixmap(ProductLogo(ui_->Image2->size()));
    for (QLabel *label : ui_->pnMain->findChildren<QLabel *>())
        SetForeground(label, Qt::white);
    for (QLabel *link : {ui_->lbWebSite, ui_->lbMailTo})
        SetForeground(link, Qt::yellow);
    ui_->imDonateUSD->setPixmap(DonateButtonPicture(ui_->imDonateUSD->size()));
    ui_->imDonateEuro->setPixmap(DonateButtonPicture(ui_->imDonateEuro->size()));
    auto *banner = new TfmBanner(this);
    banner->LoadBanner(bkWide);
    banner->EmbedIn(ui_->pnSponsor);
    banner->SetColor(clPanelBack);
    SetTexts();
}

void TfmAboutBox::SetTexts()
{
    ui_->lbProgramVersion->setText(Q(ProgramCaption()));
    ui_->lbCopyRight->setText(Q(kCopyright));
    ui_->lbWebSite->setText(Q(kWebAddress));
    ui_->Label1->setText(Q(support::LngText("Comments/questions can be sent to:")));
    ui_->lbMailTo->setText(Q(kFeedbackAddress));
    ui_->lbDLL->setText(Q(kCreditLibraries));
    ui_->lbJASPER->setText(Q(kCreditJpeg));
    ui_->lbFreeware->setText(Q(support::LngText("This is a freeware tool - free of charge - no costs for you !")));
    ui_->lbPayPal->setText(Q(support::LngText("You can support this project by making a donation via PayPal:")));
    ui_->lbUSD->setText(Q(support::LngText("US Dollars:")));
    ui_->lbEuro->setText(Q(support::LngText("Euro:")));
    ui_->btClose->setText(Q(support::LngText("Close")));
    setWindowTitle(Q(support::LngText("About")));
    // Addresses and names are shown as they are, never as rich text.
    for (QLabel *label : ui_->pnMain->findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    // A link reacts only over its text, not over the empty rest of the line.
    ui_->lbWebSite->adjustSize();
    ui_->lbMailTo->adjustSize();
}

bool TfmAboutBox::eventFilter(QObject *watched, QEvent *event)
{
    const bool textLink = watched == ui_->lbWebSite || watched == ui_->lbMailTo;
    switch (event->type()) {
    case QEvent::Enter:
        if (textLink)
            SetUnderline(static_cast<QLabel *>(watched), true);
        break;
    case QEvent::Leave:
        if (textLink)
            SetUnderline(static_cast<QLabel *>(watched), false);
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // Taken here so that the release comes back to the same link.
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            return true;
        break;
    case QEvent::MouseButtonRelease: {
        const auto *me = static_cast<QMouseEvent *>(event);
        const auto *w = static_cast<QWidget *>(watched);
        if (me->button() != Qt::LeftButton || !w->rect().contains(me->position().toPoint()))
            break;
        if (watched == ui_->lbWebSite)
            lbWebSiteClick();
        else if (watched == ui_->lbMailTo)
            lbMailToClick();
        else if (watched == ui_->imDonateUSD)
            imDonateUSDClick();
        else if (watched == ui_->imDonateEuro)
            imDonateEuroClick();
        return true;
    }
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void TfmAboutBox::OpenTarget(const std::string &target)
{
    // Like every link of the program, the outcome is not shown to the user.
    support::TQXResultEx r;
    support::ShellOpen(this, target, 80, r);
}

void TfmAboutBox::lbWebSiteClick() { OpenTarget(kWebAddress); }
void TfmAboutBox::lbMailToClick() { OpenTarget(std::string("mailto:") + kFeedbackAddress); }
void TfmAboutBox::imDonateUSDClick()
{
    support::TQXCI ci;
    ci.EnterMethod("TfmAboutBox", "FunctionNameHere", {});
    OpenTarget(kDonateUSDAddress);
    ci.Leave();
}

void TfmAboutBox::imDonateEuroClick()
{
    support::TQXCI ci;
    ci.EnterMethod("TfmAboutBox", "FunctionNameHere", {});
    OpenTarget(kDonateEuroAddress);
    ci.Leave();
}
void TfmAboutBox::btCloseClick() { accept(); }

void TfmAboutBox::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Only now does the frame size that the centring needs exist.
    if (centerOnShow)
        CenterOnPrimaryScreen(this);
}

void ShowAboutBox(QWidget *parent)
{
    ShowModalForm(parent, fmAboutBox);
}

} // namespace app

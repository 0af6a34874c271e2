#include "app/fm_Banner.h"

#include "app/CaptureFormStyle.h"
#include "app/SelfUnit.h"
#include "app/fm_AboutBox.h"
#include "gif/GIFPainter.h"
#include "gif/GIFUtils.h"
#include "platform/core/Random.h"
#include "platform/os/ShellOpen.h"
#include "support/ExceptionReport.h"
#include "support/QX_CallStack.h"
#include "support/TextRoutines.h"
#include "ui_fm_Banner.h"

#include <QBuffer>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>

namespace app {

namespace {

// Banners: doThreaded, doTransparent, doAnimate, doLoop, doLoopForever.
constexpr std::uint16_t kBannerPaintOptions = 31;

// Module number of the banner's reports.
constexpr std::uint8_t kModule = 80;

void ReportPainterError(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &E) {
        support::TQXResultEx r;
        support::ExceptionReport(E, kModule, nullptr, 0, {}, r);
    } catch (...) {
    }
}

void SetUnderline(QLabel *label, bool on)
{
    QFont f = label->font();
    f.setUnderline(on);
    label->setFont(f);
}

TfmBanner::TBannerSource &BannerSource()
{
    static TfmBanner::TBannerSource source = LoadResourceToStream;
    return source;
}

} // namespace

void TfmBanner::SetBannerSource(TBannerSource source)
{
    BannerSource() = source ? std::move(source) : TBannerSource(LoadResourceToStream);
}

std::string BannerResourceName(int kind, int number)
{
    return support::SubstArgs(kind == bkWide ? "468x60-%.gif" : "200x200-%.gif", {std::to_string(number)});
}

TBannerImage::TBannerImage(QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(true);
}

void TBannerImage::NewCanvas(int width, int height)
{
    canvas_ = QImage(std::max(width, 0), std::max(height, 0), QImage::Format_ARGB32_Premultiplied);
    canvas_.fill(Qt::transparent);
    resize(canvas_.size());
    update();
}

gif::TGIFCanvas TBannerImage::PaintTarget()
{
    QPointer<TBannerImage> self(this);
    gif::TGIFCanvas target;
    target.Image = &canvas_;
    target.Changed = [self](const QRect &r) {
        if (self)
            self->update(r);
    };
    target.Alive = [self] { return !self.isNull(); };
    return target;
}

void TBannerImage::paintEvent(QPaintEvent *)
{
    if (canvas_.isNull())
        return;
    QPainter p(this);
    p.drawImage(QPoint(0, 0), canvas_);
}

void TBannerImage::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        emit Clicked();
}

TfmBanner::TfmBanner(QWidget *owner) : QWidget(owner), ui_(std::make_unique<Ui::TfmBanner>())
{
    ui_->setupUi(this);
    QLabel *link = ui_->lbSponsorLink;
    link->setFont(BoldPixelFont(link->font(), 16));
    SetTextColor(link, Qt::yellow);
    link->setAttribute(Qt::WA_TranslucentBackground);
    link->installEventFilter(this);
    connect(ui_->imSponsor, &TBannerImage::Clicked, this, &TfmBanner::OpenSponsorLink);
    hide();
}

TfmBanner::~TfmBanner()
{
    FormDestroy();
}

TBannerImage *TfmBanner::imSponsor() const { return ui_->imSponsor; }
QLabel *TfmBanner::lbSponsorLink() const { return ui_->lbSponsorLink; }

void TfmBanner::FormDestroy()
{
    // The painter draws on imSponsor's canvas: it must be gone first.
    if (FGIF) {
        FGIF->PaintStop();
        FGIF.reset();
    }
}

void TfmBanner::LoadBanner(int kind)
{
    support::InitResult(LoadResult);
    try {
        // A second load replaces the running banner.
        FormDestroy();
        static const bool handlerInstalled = [] {
            gif::SetGIFPaintErrorHandler(ReportPainterError);
            return true;
        }();
        (void)handlerInstalled;
        FGIF = std::make_unique<gif::TGIFImage>();
        const int n = platform::Random(5) + 1;
        ui_->lbSponsorLink->setVisible(kind == bkWide);
        const std::string name = BannerResourceName(kind, n);
        {
            QBuffer stream;
            BannerSource()(name, stream);
            FGIF->LoadFromStream(stream);
        }
        gif::CheckPixelCount(FGIF->Width(), FGIF->Height()); // the canvas has the screen's size
        ui_->imSponsor->NewCanvas(FGIF->Width(), FGIF->Height());
        FormResize();
        gif::Paint(*FGIF, ui_->imSponsor->PaintTarget(), QRect(0, 0, FGIF->Width(), FGIF->Height()),
                   kBannerPaintOptions);
        if (kind == bkWide)
            ui_->lbSponsorLink->setText(QString::fromStdString(kWebAddress));
    } catch (const std::exception &E) {
        // The dialog must open all the same: the panel stays blank.
        support::ExceptionReport(E, kModule, nullptr, 0, {}, LoadResult);
        FormDestroy();
        ui_->imSponsor->NewCanvas(0, 0);
        ui_->lbSponsorLink->clear();
    }
}

void TfmBanner::EmbedIn(QWidget *panel)
{
    setParent(panel);
    setWindowFlags(Qt::Widget);
    // Fills the panel's client area and follows it when the form is resized.
    if (!panel->layout()) {
        auto *fill = new QVBoxLayout(panel);
        fill->setContentsMargins(0, 0, 0, 0);
    }
    panel->layout()->addWidget(this);
    setGeometry(panel->contentsRect());
    show();
    FormResize();
}

void TfmBanner::SetColor(std::uint32_t bgr)
{
    SetBackColor(this, bgr);
    SetBackColor(ui_->imSponsor, bgr);
}

void TfmBanner::FormResize()
{
    support::CenterControl(this, ui_->imSponsor, true, false);
    ui_->lbSponsorLink->setGeometry(0, ui_->lbSponsorLink->y(), width(), ui_->lbSponsorLink->height());
    support::CenterControl(this, ui_->lbSponsorLink, true, false);
}

void TfmBanner::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    FormResize();
}

bool TfmBanner::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui_->lbSponsorLink) {
        switch (event->type()) {
        case QEvent::Enter:
            SetUnderline(ui_->lbSponsorLink, true);
            break;
        case QEvent::Leave:
            SetUnderline(ui_->lbSponsorLink, false);
            break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
                OpenSponsorLink();
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfmBanner::OpenSponsorLink()
{
    support::TQXCI ci;
    ci.EnterMethod("TfmBanner", "FunctionNameHere", {});
    support::ClearResult(LinkResult);
    try {
        platform::ShellExecuteOpen(kWebAddress);
    } catch (const std::exception &E) {
        // Not shown to the user, but traced and in the error report.
        support::ExceptionReport(E, kModule, &ci, 0, {}, LinkResult);
    }
    ci.Leave();
}

} // namespace app

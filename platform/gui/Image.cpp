#include "platform/gui/Image.h"

#include "platform/gui/FocusRect.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <cmath>

namespace platform {

TImage::TImage(QWidget *parent) : QWidget(parent)
{
    // The picture covers the widget; nothing behind it needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TPoint TImage::ToPicture(const QPointF &pos) const
{
    const qreal dpr = devicePixelRatioF();
    return {int(std::floor(pos.x() * dpr)), int(std::floor(pos.y() * dpr))};
}

void TImage::DrawFocusRect(const TRect &r)
{
    platform::DrawFocusRect(picture_.Image(), r);
    const qreal dpr = devicePixelRatioF();
    if (dpr == 1.0) {
        update(FocusRectRegion(r));
    } else {
        const QRect b = FocusRectRegion(r).boundingRect();
        update(QRectF(b.x() / dpr, b.y() / dpr, b.width() / dpr, b.height() / dpr).toAlignedRect());
    }
}

void TImage::paintEvent(QPaintEvent *e)
{
    QPainter p(this);
    const QImage &img = picture_.Image();
    const qreal dpr = devicePixelRatioF();
    const QRect area = e->rect();
    if (img.isNull()) {
        p.fillRect(area, Qt::black);
        return;
    }
    // Only the exposed part is converted and drawn: while dragging that is
    // the thin edges of the focus rectangles.
    const QRectF src(area.x() * dpr, area.y() * dpr, area.width() * dpr, area.height() * dpr);
    p.drawImage(QRectF(area), img, src);
    const QRect covered(0, 0, int(std::ceil(img.width() / dpr)), int(std::ceil(img.height() / dpr)));
    const QRegion rest = QRegion(area) - QRegion(covered);
    for (const QRect &r : rest)
        p.fillRect(r, Qt::black);
}

void TImage::mousePressEvent(QMouseEvent *e)
{
    const TPoint pt = ToPicture(e->position());
    emit MouseDown(e->button(), e->buttons(), e->modifiers(), pt.X, pt.Y);
}

void TImage::mouseMoveEvent(QMouseEvent *e)
{
    const TPoint pt = ToPicture(e->position());
    emit MouseMove(e->buttons(), e->modifiers(), pt.X, pt.Y);
}

void TImage::mouseReleaseEvent(QMouseEvent *e)
{
    const TPoint pt = ToPicture(e->position());
    emit MouseUp(e->button(), e->buttons(), e->modifiers(), pt.X, pt.Y);
}

} // namespace platform

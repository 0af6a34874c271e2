#include "imaging/gui/PanelFrame.h"

#include <QPainter>

#include <algorithm>

namespace imaging {

namespace {

// A frame Width pixels wide: top and left in TopLeft, bottom and right in
// BottomRight; Rect shrinks to the inside.
void Frame3D(QPainter &p, QRect &rect, const QColor &topLeft, const QColor &bottomRight, int width)
{
    for (int i = 0; i < width && rect.width() > 0 && rect.height() > 0; ++i) {
        p.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), topLeft);
        p.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), topLeft);
        p.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), bottomRight);
        p.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), bottomRight);
        rect.adjust(1, 1, -1, -1);
    }
}

void Bevel(QPainter &p, QRect &rect, TBevelCut cut, int width, const QPalette &pal)
{
    if (cut == TBevelCut::bvNone)
        return;
    const QColor shadow = pal.color(QPalette::Dark), highlight = pal.color(QPalette::Light);
    if (cut == TBevelCut::bvLowered)
        Frame3D(p, rect, shadow, highlight, width);
    else
        Frame3D(p, rect, highlight, shadow, width);
}

} // namespace

TPanelFrame::TPanelFrame(QWidget *parent) : QWidget(parent)
{
    // The paint covers the whole area: no background erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QRect TPanelFrame::PaintFrames(QPainter &Painter) const
{
    QRect rect = this->rect();
    const QColor color = palette().color(QPalette::Window);
    Bevel(Painter, rect, BevelOuter, BevelWidth, palette());
    Frame3D(Painter, rect, color, color, BorderWidth);
    Bevel(Painter, rect, BevelInner, BevelWidth, palette());
    Frame3D(Painter, rect, color, color, BorderWidth);
    return rect;
}

void TPanelFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect inside = PaintFrames(painter);
    painter.fillRect(inside, palette().color(QPalette::Window));
    if (OnPaint)
        OnPaint();
}

TDoubleBufferedPanel::TDoubleBufferedPanel(QWidget *parent) : TPanelFrame(parent) {}

void TDoubleBufferedPanel::resizeEvent(QResizeEvent *event)
{
    Resize();
    TPanelFrame::resizeEvent(event);
}

void TDoubleBufferedPanel::Resize()
{
    const int bevels = (BevelInner != TBevelCut::bvNone) + (BevelOuter != TBevelCut::bvNone);
    FrameSize = 2 * (bevels * BevelWidth + 2 * BorderWidth);
    Bitmap = QImage(std::max(0, width() - FrameSize), std::max(0, height() - FrameSize), QImage::Format_RGB32);
    Bitmap.fill(palette().color(QPalette::Window));
}

void TDoubleBufferedPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect inside = PaintFrames(painter);
    if (OnPaint)
        OnPaint();
    painter.drawImage(inside.topLeft(), Bitmap);
}

} // namespace imaging

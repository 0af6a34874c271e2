#pragma once
// The image control: shows its picture's bitmap unscaled at the top left
// (pixel for pixel on the device) and reports mouse events in picture pixels.
#include "platform/gui/Bitmap.h"

#include <QWidget>

namespace platform {

class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget *parent = nullptr);

    TBitmap &Picture() { return picture_; }
    const TBitmap &Picture() const { return picture_; }
    // Repaints all of it after the picture was changed.
    void Changed() { update(); }
    // Draws the XOR focus rectangle on the picture and repaints only its edges.
    void DrawFocusRect(const TRect &r);
    // Mouse position in picture pixels for a position in widget coordinates.
    TPoint ToPicture(const QPointF &pos) const;

signals:
    void MouseDown(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods,
                   int x, int y);
    void MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, int x, int y);
    void MouseUp(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods,
                 int x, int y);

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    TBitmap picture_;
};

} // namespace platform

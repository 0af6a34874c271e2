#pragma once
// Panels with drawn 3-D frames: TPanelFrame leaves its inside to an OnPaint
// handler; TDoubleBufferedPanel keeps an off-screen image that clients draw
// on and that the panel only copies to the screen, so a preview redrawn on
// every change does not flicker.
#include <QImage>
#include <QWidget>

#include <functional>

namespace imaging {

enum class TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

class TPanelFrame : public QWidget {
    Q_OBJECT

public:
    explicit TPanelFrame(QWidget *parent = nullptr);

    std::function<void()> OnPaint;
    TBevelCut BevelInner = TBevelCut::bvNone;
    TBevelCut BevelOuter = TBevelCut::bvNone;
    int BevelWidth = 1;
    int BorderWidth = 0;

protected:
    // Draws the frames (outer bevel, border, inner bevel, border), narrowing
    // Rect by each; returns what is left inside them.
    QRect PaintFrames(QPainter &Painter) const;
    void paintEvent(QPaintEvent *event) override;
};

class TDoubleBufferedPanel : public TPanelFrame {
    Q_OBJECT

public:
    explicit TDoubleBufferedPanel(QWidget *parent = nullptr);

    // The off-screen image: the control's size less FrameSize.
    QImage Bitmap;
    // Both sides' frames together, in pixels.
    int FrameSize = 0;

    QImage &Canvas() { return Bitmap; }
    // Recomputes FrameSize and gives Bitmap the size inside the frames (a new,
    // blank image); runs on every resize and after the bevels change.
    void Resize();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};

} // namespace imaging

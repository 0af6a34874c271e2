#pragma once
// The banner: one animated GIF picked at random from the program's own
// banner resources, with the project's web address as a link under it. The
// action dialog, the settings form and the about box each embed one in a
// panel; clicking the picture or the link opens the project's page.
#include "gif/GIFImage.h"
#include "support/QXResult.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>

namespace Ui {
class TfmBanner;
}
class QBuffer;
class QLabel;

namespace gif {
struct TGIFCanvas;
}

namespace app {

// Banner kinds of LoadBanner.
inline constexpr int bkWide = 1;   // 468 x 60 with the link label
inline constexpr int bkSquare = 2; // 200 x 200, no link label

// The picture control of the banner: its canvas is the painter's target, shown
// over the control's background colour where the frames are transparent.
class TBannerImage : public QWidget {
    Q_OBJECT
public:
    explicit TBannerImage(QWidget *parent = nullptr);
    QImage &Canvas() { return canvas_; }
    // A fresh see-through canvas of the given size; the control takes it too.
    void NewCanvas(int width, int height);
    // The painter's target on this control.
    gif::TGIFCanvas PaintTarget();

signals:
    void Clicked();

protected:
    void paintEvent(QPaintEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    QImage canvas_;
};

class TfmBanner : public QWidget {
    Q_OBJECT
public:
    // Owned by `owner` (its Qt parent until EmbedIn).
    explicit TfmBanner(QWidget *owner);
    ~TfmBanner() override;

    // Loads a random banner of `kind` and starts its animation. A banner that
    // cannot be loaded is reported to the trace and the panel stays blank.
    void LoadBanner(int kind);
    // Becomes a borderless child filling `panel`.
    void EmbedIn(QWidget *panel);
    void SetColor(std::uint32_t bgr);
    void FormResize();
    // Stops the animation and frees the picture.
    void FormDestroy();
    void OpenSponsorLink();

    TBannerImage *imSponsor() const;
    QLabel *lbSponsorLink() const;
    gif::TGIFImage *GIF() const { return FGIF.get(); }
    // Where LoadBanner reads a banner file (LoadResourceToStream unless a test
    // installed another; an empty function restores it).
    using TBannerSource = std::function<void(const std::string &fileName, QBuffer &stream)>;
    static void SetBannerSource(TBannerSource source);

    // What the last LoadBanner / OpenSponsorLink reported (not shown to the
    // user).
    support::TQXResultEx LoadResult, LinkResult;

protected:
    void resizeEvent(QResizeEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::unique_ptr<Ui::TfmBanner> ui_;
    std::unique_ptr<gif::TGIFImage> FGIF;
};

// The resource file name of banner `number` (1..5) of `kind`.
std::string BannerResourceName(int kind, int number);

} // namespace app

#pragma once
// The picture control: shows a graphic of any picture format through its own
// Draw, at the graphic's size at the top left, and repaints whenever the
// graphic reports a change, so an animated picture shows its frames in turn.
#include "platform/gui/Graphic.h"

#include <QWidget>

#include <memory>
#include <string>

namespace platform {

class TPictureView : public QWidget {
    Q_OBJECT
public:
    explicit TPictureView(QWidget *parent = nullptr);
    // The graphic goes first: whatever it still paints ends with it.
    ~TPictureView() override;

    TGraphic *Graphic() const { return graphic_.get(); }
    // Takes the graphic over (none empties the control); the one shown
    // before is freed.
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    // Loads a file of any registered picture format (TPicture's rules); the
    // control keeps its graphic when that fails.
    void LoadFromFile(const std::string &fileName);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    std::unique_ptr<TGraphic> graphic_;
};

} // namespace platform

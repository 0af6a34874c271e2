#include "platform/gui/PictureView.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPointer>

namespace platform {

TPictureView::TPictureView(QWidget *parent) : QWidget(parent) {}

TPictureView::~TPictureView()
{
    SetGraphic(nullptr);
}

void TPictureView::SetGraphic(std::unique_ptr<TGraphic> graphic)
{
    if (graphic_) {
        graphic_->OnChange = nullptr;
        graphic_.reset();
    }
    graphic_ = std::move(graphic);
    if (graphic_) {
        QPointer<TPictureView> self(this);
        graphic_->OnChange = [self] {
            if (self)
                self->update();
        };
    }
    updateGeometry();
    update();
}

void TPictureView::LoadFromFile(const std::string &fileName)
{
    TPicture picture;
    picture.LoadFromFile(fileName);
    SetGraphic(std::move(picture.Graphic));
}

QSize TPictureView::sizeHint() const
{
    return graphic_ && !graphic_->Empty() ? QSize(graphic_->Width(), graphic_->Height()) : QSize();
}

void TPictureView::paintEvent(QPaintEvent *)
{
    if (!graphic_ || graphic_->Empty())
        return;
    QPainter p(this);
    try {
        graphic_->Draw(p, QRect(0, 0, graphic_->Width(), graphic_->Height()));
    } catch (const std::exception &e) {
        // Nothing may leave a paint event; a picture that cannot be drawn
        // stays blank instead of failing at every repaint.
        qWarning("Picture cannot be drawn: %s", e.what());
    }
}

} // namespace platform

#include "support/QX_VisualTrace.h"

#include <QSlider>
#include <QVBoxLayout>

namespace support {

TVisualTrace::TVisualTrace(QWidget *parent) : QWidget(parent)
{
    frame_ = new TfrVisualTrace(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame_);
    frame_->SetComponent(this);
    frame_->tbLevel->setRange(0, MaxTraceLevel);
    SetView(frame_);
    ApplyDefaults();
}

TVisualTrace::~TVisualTrace()
{
    Shutdown();
    frame_->SetComponent(nullptr);
}

} // namespace support

#pragma once
// The trace component as a widget: the headless TVisualTraceCore with its
// trace window (TfrVisualTrace) filling the widget.
#include "support/QX_VisualTraceCore.h"
#include "support/fr_VisualTrace.h"

#include <QWidget>

namespace support {

class TVisualTrace : public QWidget, public TVisualTraceCore {
    Q_OBJECT
public:
    explicit TVisualTrace(QWidget *parent = nullptr);
    // Sends pending lines to the file and standard output, and clears
    // GlobalTrace when it points here.
    ~TVisualTrace() override;

    TfrVisualTrace *Frame() const { return frame_; }

private:
    TfrVisualTrace *frame_; // child widget
};

} // namespace support

#pragma once
// The trace window: the list of trace lines and the controls through which a
// user sets the level, the outputs and the trace classes, and saves, clears
// or copies the lines. It is the view of its trace component.
#include "support/QX_VisualTraceCore.h"

#include <QMetaObject>
#include <QWidget>
#include <memory>
#include <string>

class QCheckBox;
class QFrame;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSlider;
class QSplitter;
class QTimer;
class QToolButton;

namespace Ui {
class frVisualTrace;
}

namespace support {

// The text that CopyToClipboard puts on the clipboard, with CR LF after each
// line: the selected lines (every line when `allLines` is set or the list is
// not multi-select), each cut to 255 characters, as long as the running
// total of their lengths plus 3 stays below `maxBytes`.
std::string ListBoxCopyText(const QListWidget *listBox, int maxBytes, bool allLines);
// Puts ListBoxCopyText on the clipboard as plain text (line feeds only, as
// the desktop expects). Nothing when `listBox` is null.
void CopyToClipboard(const QListWidget *listBox, int maxBytes, bool allLines);

class TfrVisualTrace : public QWidget, public TTraceView {
    Q_OBJECT
public:
    explicit TfrVisualTrace(QWidget *parent = nullptr);
    ~TfrVisualTrace() override;

    void SetComponent(TVisualTraceCore *component) { component_ = component; }
    TVisualTraceCore *Component() const { return component_; }

    // The components of the form (children of this frame). "Splitter1" is
    // the splitter between the list and the settings panel; hiding the panel
    // hides its handle.
    QListWidget *lb;
    QSplitter *Splitter1;
    QFrame *pnSettings;
    QLabel *stTitle;
    QListWidget *clCls;
    QFrame *Panel1;
    QSlider *tbLevel;
    QLabel *stLevel;
    QCheckBox *cbScreen;
    QCheckBox *cbFile;
    QCheckBox *cbScroll;
    QPushButton *bbCopy;
    QPushButton *bbSettings;
    QFrame *Panel2;
    QToolButton *bbSave;
    QPushButton *bbClear;
    QTimer *tmFlush;

    // Event handlers.
    void bbSettingsClick();
    void tmFlushTimer();
    void clClsClick();
    void clClsClickCheck(QListWidgetItem *item);
    void tbLevelChange();
    void cbScreenClick();
    void cbScrollClick();
    void cbFileClick();
    void bbSaveClick();
    void bbClearClick();
    void bbCopyClick();

    // TTraceView
    void ListSetHorizontalExtent(int pixels) override;
    int ListCount() const override;
    void ListClear() override;
    void ListAppend(const std::vector<std::string> &lines, size_t first, size_t count) override;
    void ListDeleteFirst(int count) override;
    void ListScrollToLast() override;
    std::vector<std::string> ListLines() const override;
    void StartFlushTimer() override;
    void StopFlushTimer() override;
    void MirrorLevel(int level) override;
    void MirrorScreen(bool on) override;
    void MirrorFile(bool on) override;
    void MirrorScroll(bool on) override;
    void SetInteractive(bool on) override;
    void SetUserCanChange(bool on) override;
    void ToggleSettings() override;
    void AddClassItem(const std::string &text, bool checked) override;
    Controls ReadControls() const override;
    void SetLevelCaption(int level) override;

private:
    void AttachHandlers();
    void DetachHandlers();
    void StartFlushTimerHere();

    std::unique_ptr<Ui::frVisualTrace> ui_;
    TVisualTraceCore *component_ = nullptr;
    QMetaObject::Connection levelConn_, screenConn_, fileConn_;
};

} // namespace support

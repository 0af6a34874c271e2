#include "support/fr_VisualTrace.h"

#include "ui_fr_VisualTrace.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <exception>

namespace support {

namespace {
constexpr int CopyMaxLineChars = 255;
constexpr int CopyMaxBytes = 100000;
constexpr int SettingsPanelWidth = 250;
} // namespace

std::string ListBoxCopyText(const QListWidget *listBox, int maxBytes, bool allLines)
{
    std::string text;
    if (!listBox)
        return text;
    const bool multiSelect = listBox->selectionMode() == QAbstractItemView::MultiSelection ||
                             listBox->selectionMode() == QAbstractItemView::ExtendedSelection;
    long long total = 0;
    for (int i = 0; i < listBox->count(); ++i) {
        const QListWidgetItem *item = listBox->item(i);
        if (!(allLines || !multiSelect || item->isSelected()))
            continue;
        const std::string line = item->text().left(CopyMaxLineChars).toStdString();
        total += static_cast<long long>(line.size()) + 3;
        if (total >= maxBytes)
            break;
        text += line;
        text += "\r\n";
    }
    return text;
}

void CopyToClipboard(const QListWidget *listBox, int maxBytes, bool allLines)
{
    if (!listBox)
        return;
    QString text = QString::fromStdString(ListBoxCopyText(listBox, maxBytes, allLines));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QGuiApplication::clipboard()->setText(text);
}

TfrVisualTrace::TfrVisualTrace(QWidget *parent)
    : QWidget(parent), ui_(std::make_unique<Ui::frVisualTrace>())
{
    ui_->setupUi(this);
    lb = ui_->lb;
    Splitter1 = ui_->Splitter1;
    pnSettings = ui_->pnSettings;
    stTitle = ui_->stTitle;
    clCls = ui_->clCls;
    Panel1 = ui_->Panel1;
    tbLevel = ui_->tbLevel;
    stLevel = ui_->stLevel;
    cbScreen = ui_->cbScreen;
    cbFile = ui_->cbFile;
    cbScroll = ui_->cbScroll;
    bbCopy = ui_->bbCopy;
    bbSettings = ui_->bbSettings;
    Panel2 = ui_->Panel2;
    bbSave = ui_->bbSave;
    bbClear = ui_->bbClear;

    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(13);
    lb->setFont(font);
    // Extra width goes to the list; the settings panel keeps its width.
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({671 - 229, 229});

    tmFlush = new QTimer(this);
    tmFlush->setObjectName(QStringLiteral("tmFlush"));
    tmFlush->setSingleShot(true);
    tmFlush->setInterval(100);

    connect(tmFlush, &QTimer::timeout, this, &TfrVisualTrace::tmFlushTimer);
    connect(clCls, &QListWidget::itemClicked, this, [this] { clClsClick(); });
    connect(clCls, &QListWidget::itemChanged, this, &TfrVisualTrace::clClsClickCheck);
    connect(cbScroll, &QCheckBox::toggled, this, &TfrVisualTrace::cbScrollClick);
    connect(bbSave, &QToolButton::clicked, this, &TfrVisualTrace::bbSaveClick);
    connect(bbClear, &QPushButton::clicked, this, &TfrVisualTrace::bbClearClick);
    connect(bbCopy, &QPushButton::clicked, this, &TfrVisualTrace::bbCopyClick);
    connect(bbSettings, &QPushButton::clicked, this, &TfrVisualTrace::bbSettingsClick);
}

TfrVisualTrace::~TfrVisualTrace() = default;

// --- handlers ---------------------------------------------------------------

void TfrVisualTrace::bbSettingsClick()
{
    if (!pnSettings->isHidden()) {
        bbSettings->setText(QStringLiteral("Show settings"));
        pnSettings->hide();
    } else {
        bbSettings->setText(QStringLiteral("Hide settings"));
        pnSettings->show();
        const int total = Splitter1->width();
        Splitter1->setSizes({std::max(total - SettingsPanelWidth, 1), SettingsPanelWidth});
    }
}

void TfrVisualTrace::tmFlushTimer()
{
    tmFlush->stop();
    if (component_)
        component_->FlushTimerFired();
}

void TfrVisualTrace::clClsClick()
{
}

void TfrVisualTrace::clClsClickCheck(QListWidgetItem *item)
{
    if (component_ && item)
        component_->ClassChecked(clCls->row(item), item->checkState() == Qt::Checked);
}

void TfrVisualTrace::tbLevelChange()
{
    if (component_)
        component_->ControlsToComponent();
}

void TfrVisualTrace::cbScreenClick()
{
    if (component_)
        component_->ControlsToComponent();
}

void TfrVisualTrace::cbScrollClick()
{
    if (component_)
        component_->ControlsToComponent();
}

void TfrVisualTrace::cbFileClick()
{
    if (component_)
        component_->ControlsToComponent();
}

void TfrVisualTrace::bbSaveClick()
{
    if (!component_)
        return;
    try {
        component_->SaveListBox();
    } catch (const std::exception &e) {
        // A slot must not let the exception into Qt; show it like the
        // application shows any other uncaught error, without blocking.
        auto *box = new QMessageBox(QMessageBox::Warning, QGuiApplication::applicationDisplayName(),
                                    QString::fromStdString(e.what()), QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("msgSaveError"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
}

void TfrVisualTrace::bbClearClick()
{
    if (component_)
        component_->ClearListBox();
}

void TfrVisualTrace::bbCopyClick()
{
    CopyToClipboard(lb, CopyMaxBytes, false);
}

// --- view -------------------------------------------------------------------

void TfrVisualTrace::ListSetHorizontalExtent(int)
{
    // The list sizes its horizontal scroll range from its widest line itself.
}

int TfrVisualTrace::ListCount() const
{
    return lb->count();
}

void TfrVisualTrace::ListClear()
{
    lb->clear();
}

void TfrVisualTrace::ListAppend(const std::vector<std::string> &lines, size_t first, size_t count)
{
    QStringList items;
    items.reserve(static_cast<qsizetype>(count));
    for (size_t i = first; i < first + count && i < lines.size(); ++i)
        items.append(QString::fromStdString(lines[i]));
    lb->addItems(items);
}

void TfrVisualTrace::ListDeleteFirst(int count)
{
    lb->model()->removeRows(0, std::min(count, lb->count()));
    lb->viewport()->update();
}

void TfrVisualTrace::ListScrollToLast()
{
    if (lb->count() > 0)
        lb->scrollToItem(lb->item(lb->count() - 1), QAbstractItemView::PositionAtTop);
}

std::vector<std::string> TfrVisualTrace::ListLines() const
{
    std::vector<std::string> lines;
    lines.reserve(static_cast<size_t>(lb->count()));
    for (int i = 0; i < lb->count(); ++i)
        lines.push_back(lb->item(i)->text().toStdString());
    return lines;
}

void TfrVisualTrace::StartFlushTimerHere()
{
    if (!tmFlush->isActive())
        tmFlush->start();
}

void TfrVisualTrace::StartFlushTimer()
{
    if (QThread::currentThread() == thread())
        StartFlushTimerHere();
    else
        QMetaObject::invokeMethod(this, [this] { StartFlushTimerHere(); }, Qt::QueuedConnection);
}

void TfrVisualTrace::StopFlushTimer()
{
    tmFlush->stop();
}

void TfrVisualTrace::MirrorLevel(int level)
{
    tbLevel->setValue(level);
}

void TfrVisualTrace::MirrorScreen(bool on)
{
    cbScreen->setChecked(on);
}

void TfrVisualTrace::MirrorFile(bool on)
{
    cbFile->setChecked(on);
}

void TfrVisualTrace::MirrorScroll(bool on)
{
    cbScroll->setChecked(on);
}

void TfrVisualTrace::SetInteractive(bool on)
{
    Panel1->setVisible(on);
}

void TfrVisualTrace::SetUserCanChange(bool on)
{
    tbLevel->setEnabled(on);
    cbScreen->setEnabled(on);
    cbFile->setEnabled(on);
    if (on)
        AttachHandlers();
    else
        DetachHandlers();
}

void TfrVisualTrace::AttachHandlers()
{
    DetachHandlers();
    levelConn_ = connect(tbLevel, &QSlider::valueChanged, this, &TfrVisualTrace::tbLevelChange);
    screenConn_ = connect(cbScreen, &QCheckBox::toggled, this, &TfrVisualTrace::cbScreenClick);
    fileConn_ = connect(cbFile, &QCheckBox::toggled, this, &TfrVisualTrace::cbFileClick);
}

void TfrVisualTrace::DetachHandlers()
{
    disconnect(levelConn_);
    disconnect(screenConn_);
    disconnect(fileConn_);
}

void TfrVisualTrace::ToggleSettings()
{
    bbSettingsClick();
}

void TfrVisualTrace::AddClassItem(const std::string &text, bool checked)
{
    const QSignalBlocker quiet(clCls);
    auto *item = new QListWidgetItem(QString::fromStdString(text), clCls);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

TTraceView::Controls TfrVisualTrace::ReadControls() const
{
    Controls c;
    c.Level = tbLevel->value();
    c.Screen = cbScreen->isChecked();
    c.File = cbFile->isChecked();
    c.Scroll = cbScroll->isChecked();
    return c;
}

void TfrVisualTrace::SetLevelCaption(int level)
{
    stLevel->setText(QString::number(level));
}

} // namespace support

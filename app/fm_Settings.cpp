#include "app/fm_Settings.h"

#include "app/CFGIniFile.h"
#include "app/CaptureFormStyle.h"
#include "app/ModalRunner.h"
#include "app/fm_Banner.h"
#include "app/fm_ShowMessageToUser.h"
#include "support/DirShell.h"
#include "support/QXResult.h"
#include "support/TextRoutines.h"
#include "support/dm_LNG.h"
#include "ui_fm_Settings.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace app {

TfmSettings *fmSettings = nullptr;

namespace {

const std::string kTitle = "Korvane ScreenShot"; // the application title
constexpr std::uint8_t kModuleNumber = 80;       // the application's result module

QString Q(const std::string &s) { return QString::fromStdString(s); }

void SetForeground(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    w->setPalette(p);
}
std::string S(const QString &s) { return s.toStdString(); }

std::optional<std::string> PickFolderWithDialog(QWidget *parent, const std::string &caption,
                                                const std::string &start)
{
    const QString dir = QFileDialog::getExistingDirectory(parent, Q(caption), Q(start),
                                                          QFileDialog::ShowDirsOnly);
    if (dir.isEmpty())
        return std::nullopt;
    return S(dir);
}

TfmSettings::TFolderPicker &FolderPicker()
{
    static TfmSettings::TFolderPicker picker = PickFolderWithDialog;
    return picker;
}

std::string SystemReason(int err) { return std::strerror(err); }

} // namespace

std::string DestinationFolderProblem(const std::string &folder)
{
    namespace fs = std::filesystem;
    if (support::IsBlank(folder))
        return support::LngText("No destination folder is given.");
    // The settings file holds one line per value, and a file name with a
    // line break is a trap in every other tool.
    if (folder.find_first_of("\r\n") != std::string::npos)
        return support::LngText("The folder name contains a line break.");
    // A relative folder would follow whatever folder the program was started
    // from.
    fs::path p(folder);
    if (!p.is_absolute())
        return support::LngText("The folder must be a full path.");
    // Walk up to the nearest part that exists; every part below it will be created.
    for (;;) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                return support::AddNameValue({}, support::LngText("Not a folder"), p.string(), true);
            if (::access(p.c_str(), W_OK | X_OK) != 0)
                return support::AddNameValue({}, SystemReason(errno), p.string(), true);
            return {};
        }
        // A file in the path shows up as ENOTDIR; walking on finds and names it.
        if (errno != ENOENT && errno != ENOTDIR)
            return support::AddNameValue({}, SystemReason(errno), p.string(), true);
        const fs::path parent = p.parent_path();
        if (parent.empty() || parent == p)
            return support::AddNameValue({}, SystemReason(ENOENT), p.string(), true);
        p = parent;
    }
}

QPixmap ProductLogo(const QSize &size)
{
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(std::max(8, size.height() / 3));
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, QStringLiteral("Korvane\nScreenShot"));
    return pm;
}

void CenterOnPrimaryScreen(QWidget *window)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!window || !screen)
        return;
    const QRect area = screen->availableGeometry();
    QRect frame = window->frameGeometry();
    frame.moveCenter(area.center());
    window->move(frame.topLeft());
}

TfmSettings::TfmSettings(QWidget *parent) : QDialog(parent), ui_(std::make_unique<Ui::TfmSettings>())
{
    ui_->setupUi(this);
    connect(ui_->btOK, &QPushButton::clicked, this, &TfmSettings::btOKClick);
    connect(ui_->btCancel, &QPushButton::clicked, this, &TfmSettings::btCancelClick);
    connect(ui_->btSelectFileSaveFolder, &QPushButton::clicked, this,
            &TfmSettings::btSelectFileSaveFolderClick);
    FormCreate();
}

TfmSettings::~TfmSettings() = default;

void TfmSettings::SetFolderPicker(TFolderPicker picker)
{
    FolderPicker() = picker ? std::move(picker) : TFolderPicker(PickFolderWithDialog);
}

void TfmSettings::FormCreate()
{
    SetBackColor(this, clFormBack);
    for (QWidget *panel : {static_cast<QWidget *>(ui_->pnSponsor), static_cast<QWidget *>(ui_->pnMain),
                           static_cast<QWidget *>(ui_->Panel1)})
        SetBackColor(panel, clPanelBack);
    SetBackColor(ui_->Panel2, clFormBack);
    ui_->Image2->setPixmap(ProductLogo(ui_->Image2->size()));
    SetForeground(ui_->lbFileSaveFolder, Qt::white);
    SetForeground(ui_->lbDefaultImageFormat, Qt::white);
    auto *banner = new TfmBanner(this);
    banner->LoadBanner(bkWide);
    banner->EmbedIn(ui_->pnSponsor);
    banner->SetColor(clPanelBack);
    SetTexts();
    LoadFromConfig();
}

void TfmSettings::SetTexts()
{
    ui_->btOK->setText(Q(support::LngText("Ok")));
    ui_->btCancel->setText(Q(support::LngText("Cancel")));
    ui_->btHelp->setText(Q(support::LngText("Help")));
    ui_->lbFileSaveFolder->setText(Q(support::LngText("Destination folder")));
    setWindowTitle(Q(support::LngText("Settings")));
    ui_->lbDefaultImageFormat->setText(Q(support::LngText("Image file format")));
    // Fonts differ from desktop to desktop: keep the whole caption in view
    // and the combo box beside it.
    ui_->lbDefaultImageFormat->adjustSize();
    QComboBox *combo = ui_->cbImageFormat;
    combo->move(std::max(combo->x(), ui_->lbDefaultImageFormat->geometry().right() + 6), combo->y());

    ui_->cbImageFormat->clear();
    const QString list = Q(TCFGIniFile::GetDefaults().FormatList);
    for (const QString &line : list.split(QStringLiteral("\r\n")))
        ui_->cbImageFormat->addItem(line);
}

void TfmSettings::LoadFromConfig()
{
    const auto &cfg = CFGAllData;
    ui_->edFileSaveFolder->setText(Q(cfg.DestinationFolder));
    // -1 (no selection) when the configured format is none of the items.
    ui_->cbImageFormat->setCurrentIndex(
        ui_->cbImageFormat->findText(Q(cfg.ImageFileFormat), Qt::MatchFixedString));
}

bool TfmSettings::StoreToConfig()
{
    auto &cfg = CFGAllData;
    cfg.DestinationFolder = S(ui_->edFileSaveFolder->text());
    // An empty format would make every later save fail; keep the current one.
    if (ui_->cbImageFormat->currentIndex() >= 0)
        cfg.ImageFileFormat = S(ui_->cbImageFormat->currentText());
    return true;
}

void TfmSettings::btOKClick()
{
    // A folder that can never hold a capture is refused here, while the user
    // still sees what was typed, instead of failing at every later save.
    const std::string problem = DestinationFolderProblem(S(ui_->edFileSaveFolder->text()));
    if (!problem.empty()) {
        ShowMessageToUser(kTitle,
                          support::AppendLine(
                              support::LngText("The destination folder cannot be created or written:"),
                              problem));
        return;
    }
    if (!StoreToConfig())
        return;
    // What SaveConfiguration does, but the reason of a failure reaches the user.
    try {
        TCFGIniFile cfg;
        cfg.AllData = CFGAllData;
        cfg.Save();
    } catch (const std::exception &e) {
        // The choice still holds for this session; say that it was not kept.
        ShowMessageToUser(kTitle,
                          support::AppendLine(support::LngText("The settings could not be saved:"),
                                              e.what()));
    }
    accept();
}

void TfmSettings::btCancelClick() { reject(); }

void TfmSettings::btSelectFileSaveFolderClick()
{
    std::string start = S(ui_->edFileSaveFolder->text());
    support::TQXResultEx r; // not shown: a missing folder only moves the start
    if (!support::CheckDirectory(start, kModuleNumber, r))
        start = TCFGIniFile::GetDefaults().DestinationFolder;
    const auto chosen = FolderPicker()(this, support::LngText("Select the File save folder"), start);
    if (chosen)
        ui_->edFileSaveFolder->setText(Q(*chosen));
}

void TfmSettings::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Only now does the frame size that the centring needs exist.
    if (centerOnShow)
        CenterOnPrimaryScreen(this);
}

void ShowSettings(QWidget *parent)
{
    ShowModalForm(parent, fmSettings);
}

} // namespace app

#pragma once
// The settings dialog: destination folder and image file format of saved
// captures. Edits CFGAllData and writes the settings file on OK only.
#include <QDialog>
#include <QPixmap>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace Ui {
class TfmSettings;
}

namespace app {

class TfmSettings : public QDialog {
    Q_OBJECT

public:
    explicit TfmSettings(QWidget *parent = nullptr);
    ~TfmSettings() override;

    // The folder dialog the browse button opens: (parent, caption, start
    // folder) -> the chosen folder, or nothing when the user cancels.
    // Replaceable so that tests need no real dialog.
    using TFolderPicker = std::function<std::optional<std::string>(
        QWidget *parent, const std::string &caption, const std::string &start)>;
    static void SetFolderPicker(TFolderPicker picker);

    void SetTexts();

    // Centre the dialog on the primary screen each time it is shown.
    bool centerOnShow = false;
    void LoadFromConfig();
    // Copies the dialog's values into CFGAllData. With no format selected the
    // configured format stays as it is.
    bool StoreToConfig();


public slots:
    void btOKClick();
    void btCancelClick();
    void btSelectFileSaveFolderClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();

    std::unique_ptr<Ui::TfmSettings> ui_;
};

// The settings dialog while it is open, else null.
extern TfmSettings *fmSettings;

// Why captures could not be saved into `folder`, or "" when they can: the
// folder exists and is writable, or its nearest existing ancestor is a
// writable folder so that it can be created. Nothing is created.
std::string DestinationFolderProblem(const std::string &folder);

// The product logo of the settings and about dialogs, drawn to `size`.
QPixmap ProductLogo(const QSize &size);
// Moves a top-level window to the centre of the primary screen.
void CenterOnPrimaryScreen(QWidget *window);

// Creates the settings dialog, shows it modally and frees it.
void ShowSettings(QWidget *parent);

} // namespace app

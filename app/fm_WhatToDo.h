#pragma once
// The modal dialog shown after every capture: five buttons end it with a
// choice for the action loop, three (open folder, settings, about) are
// handled here and keep it open.
#include <QDialog>
#include <cstdint>
#include <memory>

namespace Ui {
class TfmWhatToDo;
}
class QPushButton;

namespace app {

// Choice codes read by the action loop.
enum : std::uint8_t {
    wtdNone = 0,      // closed without a choice button
    wtdRedo = 1,
    wtdEMail = 2,
    wtdCancel = 3,
    wtdSave = 4,
    wtdClipboard = 5,
};

class TfmWhatToDo : public QDialog {
    Q_OBJECT
public:
    explicit TfmWhatToDo(QWidget *parent = nullptr);
    ~TfmWhatToDo() override;

    std::uint8_t Choice = wtdNone;

    void SetTexts();
    void SetChoice(std::uint8_t code);

    QPushButton *btSave() const;
    QPushButton *btOpenFolder() const;
    QPushButton *btCopyToClipboard() const;
    QPushButton *btEMail() const;
    QPushButton *btRedoSelection() const;
    QPushButton *btSettings() const;
    QPushButton *btAbout() const;
    QPushButton *btCancel() const;
    QWidget *pnSponsor() const;

    void btReDoSelectionClick();
    void btEMailClick();
    void btCancelClick();
    void btSaveClick();
    void btCopyToClipboardClick();
    void btOpenFolderClick();
    void btSettingsClick();
    void btAboutClick();

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    void FormCreate();
    std::unique_ptr<Ui::TfmWhatToDo> ui_;
};

// The global of the dialog while the action loop shows it (null otherwise).
extern TfmWhatToDo *fmWhatToDo;

} // namespace app

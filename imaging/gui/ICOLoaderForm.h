#pragma once
// The icon selection form: lists the images of an icon or cursor file,
// previews the selected one on a double-buffered panel and lets the user pick
// the colour that transparent pixels get.
//
// Why here and not beside the codec: the image library must build and run
// without Qt Widgets (fuzzers, tests and tools have no display), so the form
// is its own small Qt Widgets library, imaging/gui. The codec reaches it only
// through the selection hook of ICOLoader.h, which the program installs at
// start-up (RegisterICOLoader(ShowIconSelectionForm)).
#include "imaging/ICOLoader.h"

#include <QColor>
#include <QDialog>

#include <memory>
#include <optional>

namespace Ui {
class TIconSelectionForm;
}
class QColorDialog;

namespace imaging {

class TIconSelectionForm : public QDialog {
    Q_OBJECT

public:
    explicit TIconSelectionForm(QWidget *parent = nullptr);
    ~TIconSelectionForm() override;

    // The list to choose from (not owned); set before the form is shown.
    const TIconList *Icons = nullptr;
    QColorDialog *ColorDialog = nullptr;

    Ui::TIconSelectionForm &UI() { return *ui_; }

public slots:
    // Fills the list of images and previews the first.
    void FormShow();
    // Previews the selected image on the chosen colour.
    void SelectBoxChange();
    // Asks for the transparent colour; a confirmed choice repaints.
    void TransparentButtonClick();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::unique_ptr<Ui::TIconSelectionForm> ui_;
};

// The selection hook: shows the form modally for Icons with Color (0x00BBGGRR)
// in its colour dialog; nothing when the user cancels.
std::optional<TIconChoice> ShowIconSelectionForm(const TIconList &Icons, std::uint32_t Color);

} // namespace imaging

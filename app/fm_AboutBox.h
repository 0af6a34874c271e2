#pragma once
// The about dialog: program caption and version, the project's web and
// feedback addresses as links, credits, the freeware notice and the
// donation buttons.
#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class TfmAboutBox;
}
class QLabel;

namespace app {

// The texts and addresses this project supplies for the about box.
inline constexpr const char *kWebAddress = "https://korvane-screenshot.example/";
inline constexpr const char *kFeedbackAddress = "feedback@korvane-screenshot.example";
inline constexpr const char *kCopyright = "Copyright (C) 2026 the Korvane ScreenShot developers";
inline constexpr const char *kCreditLibraries =
    "Support, raster image and GIF libraries: part of Korvane ScreenShot";
inline constexpr const char *kCreditJpeg = "JPEG reading and writing: libjpeg (library version 62)";
inline constexpr const char *kDonateUSDAddress = "https://korvane-screenshot.example/donate?currency=USD";
inline constexpr const char *kDonateEuroAddress = "https://korvane-screenshot.example/donate?currency=EUR";

class TfmAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TfmAboutBox(QWidget *parent = nullptr);
    ~TfmAboutBox() override;

    void SetTexts();

    // Centre the dialog on the primary screen each time it is shown.
    bool centerOnShow = false;

public slots:
    void lbWebSiteClick();
    void lbMailToClick();
    void imDonateUSDClick();
    void imDonateEuroClick();
    void btCloseClick();

protected:
    // Underline under the mouse and clicks of the link labels and pictures.
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();
    void OpenTarget(const std::string &target);

    std::unique_ptr<Ui::TfmAboutBox> ui_;
};

// The about dialog while it is open, else null.
extern TfmAboutBox *fmAboutBox;

// Creates the about dialog, shows it modally and frees it.
void ShowAboutBox(QWidget *parent);

} // namespace app

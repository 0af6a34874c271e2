#pragma once
// The application's modal message box: a multi-line plain text in a panel
// whose size follows the text, and one OK button below it.
#include <QDialog>
#include <memory>
#include <string>

#include "support/QXResult.h"

namespace Ui {
class TfmShowMessageToUser;
}
class QLabel;
class QPushButton;

namespace app {

class TfmShowMessageToUser : public QDialog {
    Q_OBJECT
public:
    explicit TfmShowMessageToUser(QWidget *parent = nullptr);
    ~TfmShowMessageToUser() override;

    // Puts `message` in the form and sizes the panels and the form after it;
    // the caption becomes `title`.
    void Prepare(const std::string &title, const std::string &message);
    void SetTexts();
    void btOKClick();

    QWidget *pnMain() const;
    QWidget *pnButtons() const;
    QWidget *Shape1() const;
    QWidget *Shape2() const;
    QLabel *lbMsg() const;
    QPushButton *btOK() const;

private:
    // Moves the controls anchored to a right or bottom edge after their
    // panel changed size.
    void FollowAnchors();
    std::unique_ptr<Ui::TfmShowMessageToUser> ui_;
};

// Shows `text` when it is not blank, else the result record as text (its
// lines and detail lines), modally under the caption `title`.
void ShowResult(const std::string &title, const support::TQXResultEx &result,
                const std::string &text);
// Shows `message` modally under the caption `title`.
void ShowMessageToUser(const std::string &title, const std::string &message);

} // namespace app

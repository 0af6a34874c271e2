#pragma once
// Temporary stand-ins for the directory check and the message form until
// they are merged here; replaced by the real calls then.
#include <QDir>
#include <QMessageBox>
#include <QWidget>

#include <string>

namespace app::seam {

inline void ShowMessage(const std::string &title, const std::string &text)
{
    QMessageBox::information(nullptr, QString::fromStdString(title), QString::fromStdString(text));
}
inline bool DirectoryExists(const std::string &d)
{
    return !d.empty() && QDir(QString::fromStdString(d)).exists();
}

} // namespace app::seam

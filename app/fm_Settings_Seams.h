#pragma once
// Temporary stand-ins for the configuration, caption, shell-open and message
// form units until they are merged here; replaced by the real calls then.
#include <QWidget>
#include <QProcess>
#include <QMessageBox>

#include <string>

namespace app::seam {

struct CfgData {
    std::string DestinationFolder;
    std::string ImageFileFormat;
    std::string FormatList = "PNG\r\nJPG\r\nBMP\r\nTIF";
};

inline CfgData &Config()
{
    static CfgData data;
    return data;
}
inline CfgData Defaults() { return {}; }
inline void SaveConfig() {}
inline std::string Caption() { return "Korvane ScreenShot - Ver. 2.0"; }
inline void OpenTarget(QWidget *, const std::string &target)
{
    QProcess::startDetached("xdg-open", {QString::fromStdString(target)});
}
inline void ShowMessage(const std::string &title, const std::string &text)
{
    QMessageBox::information(nullptr, QString::fromStdString(title), QString::fromStdString(text));
}

} // namespace app::seam
#include <QDir>
namespace app::seam {
inline bool DirectoryExists(const std::string &d) { return !d.empty() && QDir(QString::fromStdString(d)).exists(); }
}

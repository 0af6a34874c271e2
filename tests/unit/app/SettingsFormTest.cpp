// The settings dialog: what it shows, what OK and Cancel do to the
// configuration, the folder check on OK and the browse button; and how both
// tray dialogs are shown.
#include "app/CFGIniFile.h"
#include "app/fm_AboutBox.h"
#include "app/fm_Settings.h"
#include "platform/core/IniFile.h"

#include "AppTestUtil.h"

#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace app;
using namespace apptest;

namespace {

class SettingsForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The dialog writes the program's own settings file; keep what was there.
        if (testutil::FileExists(iniName_))
            oldIni_ = testutil::ReadFile(iniName_);
        std::filesystem::remove(iniName_);
        saved_ = CFGAllData;
        CFGAllData.DestinationFolder = tmp_.File("shots");
        CFGAllData.ImageFileFormat = "JPG";
    }
    void TearDown() override
    {
        CFGAllData = saved_;
        TfmSettings::SetFolderPicker(nullptr);
        std::filesystem::remove_all(iniName_);
        if (oldIni_)
            testutil::WriteFile(iniName_, *oldIni_);
    }
    QComboBox *Format(const TfmSettings &f) { return Ctl<QComboBox>(f, "cbImageFormat"); }
    QLineEdit *Folder(const TfmSettings &f) { return Ctl<QLineEdit>(f, "edFileSaveFolder"); }
    void Click(const TfmSettings &f, const char *button) { Ctl<QPushButton>(f, button)->click(); }
    // Clicks OK on the shown form; the labels and title of the message it shows.
    std::string OkShowingMessage(TfmSettings &f)
    {
        std::string shown;
        OnNextModal(&f, [&](QWidget *msg) {
            shown = LabelTexts(msg) + msg->windowTitle().toStdString();
            msg->close();
        });
        Click(f, "btOK");
        return shown;
    }

    const std::string iniName_ = GetIniFileName();
    std::optional<std::string> oldIni_;
    testutil::TempDir tmp_;
    TCFGIniFile_AllData saved_;
};

} // namespace

TEST_F(SettingsForm, ShowsTheCaptionsFormatsAndConfiguredValues)
{
    TfmSettings f;
    EXPECT_EQ(f.windowTitle(), "Settings");
    const std::pair<const char *, const char *> buttons[] = {
        {"btOK", "Ok"}, {"btCancel", "Cancel"}, {"btHelp", "Help"}, {"btSelectFileSaveFolder", "..."}};
    for (const auto &[name, text] : buttons)
        EXPECT_EQ(Ctl<QPushButton>(f, name)->text(), text) << name;
    EXPECT_TRUE(Ctl<QPushButton>(f, "btHelp")->isHidden());
    EXPECT_TRUE(Ctl<QPushButton>(f, "btOK")->isDefault());
    EXPECT_EQ(Ctl<QLabel>(f, "lbFileSaveFolder")->text(), "Destination folder");
    EXPECT_EQ(Ctl<QLabel>(f, "lbDefaultImageFormat")->text(), "Image file format");
    EXPECT_FALSE(Format(f)->isEditable());
    QStringList items;
    for (int i = 0; i < Format(f)->count(); ++i)
        items << Format(f)->itemText(i);
    EXPECT_EQ(items, QStringList({"PNG", "JPG", "BMP", "TIF"}));
    EXPECT_EQ(Format(f)->currentText(), "JPG");
    EXPECT_EQ(Folder(f)->text().toStdString(), tmp_.File("shots"));

    EXPECT_EQ(f.palette().color(QPalette::Window), QColor(0x47, 0x00, 0xB8));
    EXPECT_EQ(Ctl<QFrame>(f, "pnMain")->palette().color(QPalette::Window), QColor(0x5F, 0x5F, 0x5F));
    EXPECT_EQ(Ctl<QFrame>(f, "Panel2")->palette().color(QPalette::Window), QColor(0x47, 0x00, 0xB8));
    // Whatever the font, the format caption is whole and the combo beside it.
    const QLabel *caption = Ctl<QLabel>(f, "lbDefaultImageFormat");
    EXPECT_GE(caption->width(), caption->sizeHint().width());
    EXPECT_GT(Format(f)->x(), caption->geometry().right());

    // Matched without case; an unknown format (the load's substring test lets
    // values like "JP" through) selects nothing.
    for (const auto &[stored, index] : {std::pair{"bmp", 2}, {"JP", -1}}) {
        CFGAllData.ImageFileFormat = stored;
        EXPECT_EQ(Format(TfmSettings())->currentIndex(), index) << stored;
    }
}

TEST_F(SettingsForm, CancelAndClosingChangeNothing)
{
    const std::string ini = "[Other]\nKey=1\n[Generics]\nDestinationFolder=/x\nImageFileFormat=GIF\n";
    testutil::WriteFile(iniName_, ini);
    const auto before = CFGAllData;
    {
        TfmSettings f;
        Folder(f)->setText(QString::fromStdString(tmp_.File("other")));
        Format(f)->setCurrentIndex(0);
        Click(f, "btCancel");
        EXPECT_EQ(f.result(), QDialog::Rejected);
    }
    {
        TfmSettings f;
        f.show();
        Format(f)->setCurrentIndex(3);
        f.close();
    }
    EXPECT_EQ(CFGAllData.DestinationFolder, before.DestinationFolder);
    EXPECT_EQ(CFGAllData.ImageFileFormat, before.ImageFileFormat);
    EXPECT_EQ(testutil::ReadFile(iniName_), ini);
}

TEST_F(SettingsForm, OkStoresTheChoiceAndKeepsForeignSections)
{
    testutil::WriteFile(iniName_, "[Daemon.AutomaticExecution]\nRun=1\n[Mine]\nA=b\n");
    TfmSettings f;
    Folder(f)->setText(QString::fromStdString(tmp_.File("new/deeper")));
    Format(f)->setCurrentIndex(2);
    Click(f, "btOK");
    EXPECT_EQ(f.result(), QDialog::Accepted);
    EXPECT_EQ(CFGAllData.DestinationFolder, tmp_.File("new/deeper"));
    EXPECT_EQ(CFGAllData.ImageFileFormat, "BMP");
    const platform::TMemIniFile ini(iniName_);
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Mine", "Generics"}));
    EXPECT_EQ(ini.ReadString("Mine", "A", "?"), "b");
    EXPECT_EQ(ini.ReadString("Generics", "DestinationFolder", "?"), tmp_.File("new/deeper"));
    EXPECT_EQ(ini.ReadString("Generics", "ImageFileFormat", "?"), "BMP");
    // The folder is only checked, never created, on OK.
    EXPECT_FALSE(std::filesystem::exists(tmp_.File("new")));

    // OK with no format selected keeps the current one.
    TfmSettings g;
    Format(g)->setCurrentIndex(-1);
    Click(g, "btOK");
    EXPECT_EQ(g.result(), QDialog::Accepted);
    EXPECT_EQ(CFGAllData.ImageFileFormat, "BMP");
}

TEST_F(SettingsForm, OkWhenTheSettingsFileCannotBeWrittenKeepsTheChoiceAndSaysSo)
{
    // A folder where the file should be makes every write fail, even for root.
    std::filesystem::create_directories(iniName_);
    TfmSettings f;
    f.show();
    Format(f)->setCurrentIndex(0);
    const std::string shown = OkShowingMessage(f);
    EXPECT_NE(shown.find("The settings could not be saved:"), std::string::npos) << shown;
    EXPECT_EQ(f.result(), QDialog::Accepted);
    EXPECT_EQ(CFGAllData.ImageFileFormat, "PNG");
}

TEST_F(SettingsForm, OkWithAFolderThatCannotBeCreatedShowsWhyAndKeepsTheDialogOpen)
{
    testutil::WriteFile(tmp_.File("plain.txt"), "x");
    const std::string bad = tmp_.File("plain.txt/sub");
    const auto before = CFGAllData;
    TfmSettings f;
    f.show();
    Folder(f)->setText(QString::fromStdString(bad));
    Format(f)->setCurrentIndex(0);
    const std::string shown = OkShowingMessage(f);
    EXPECT_NE(shown.find("The destination folder cannot be created or written:"), std::string::npos) << shown;
    EXPECT_NE(shown.find(tmp_.File("plain.txt")), std::string::npos) << shown;
    EXPECT_NE(shown.find("Korvane ScreenShot"), std::string::npos) << shown;
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(Folder(f)->text().toStdString(), bad);
    EXPECT_EQ(CFGAllData.DestinationFolder, before.DestinationFolder);
    EXPECT_EQ(CFGAllData.ImageFileFormat, before.ImageFileFormat);
}

TEST(DestinationFolderProblem, TellsWhetherCapturesCanBeSavedThere)
{
    testutil::TempDir tmp;
    testutil::WriteFile(tmp.File("file"), "x");
    for (const std::string &ok : {tmp.Path(), tmp.Path() + "/", tmp.File("a/b/c")})
        EXPECT_EQ(DestinationFolderProblem(ok), "") << ok;
    for (const char *bad : {"", "  "})
        EXPECT_NE(DestinationFolderProblem(bad), "") << bad;
    for (const std::string &broken : {tmp.File("a\nb"), tmp.File("a\r")})
        EXPECT_EQ(DestinationFolderProblem(broken), "The folder name contains a line break.");
    EXPECT_NE(DestinationFolderProblem(tmp.File("file")).find("Not a folder"), std::string::npos);
    EXPECT_EQ(DestinationFolderProblem(tmp.File("file/x/y")), "Not a folder: '" + tmp.File("file") + "'");
    EXPECT_FALSE(std::filesystem::exists(tmp.File("a")));
    // Permissions do not bind the superuser.
    if (::geteuid() != 0) {
        std::filesystem::create_directory(tmp.File("ro"));
        std::filesystem::permissions(tmp.File("ro"), std::filesystem::perms(0555));
        EXPECT_NE(DestinationFolderProblem(tmp.File("ro")), "");
        EXPECT_NE(DestinationFolderProblem(tmp.File("ro/new")), "");
    }
}

TEST_F(SettingsForm, BrowseStartsAtTheEditedOrTheDefaultFolderAndTakesTheChoice)
{
    std::string caption, start;
    std::optional<std::string> answer = tmp_.Path();
    TfmSettings::SetFolderPicker([&](QWidget *, const std::string &c, const std::string &s) {
        caption = c;
        start = s;
        return answer;
    });
    TfmSettings f;
    Folder(f)->setText(QString::fromStdString(tmp_.Path()));
    Click(f, "btSelectFileSaveFolder");
    EXPECT_EQ(caption, "Select the File save folder");
    EXPECT_EQ(start, tmp_.Path());

    answer = tmp_.File("chosen");
    Folder(f)->setText(QString::fromStdString(tmp_.File("missing")));
    Click(f, "btSelectFileSaveFolder");
    EXPECT_EQ(start, TCFGIniFile::GetDefaults().DestinationFolder);
    EXPECT_EQ(Folder(f)->text().toStdString(), tmp_.File("chosen"));

    answer.reset(); // cancelled
    Click(f, "btSelectFileSaveFolder");
    EXPECT_EQ(Folder(f)->text().toStdString(), tmp_.File("chosen"));
    EXPECT_EQ(CFGAllData.DestinationFolder, tmp_.File("shots"));
}

TEST(TrayDialogs, AreModalCentredOnThePrimaryScreenAndFreed)
{
    const struct {
        std::function<void()> show;
        std::function<QWidget *()> global;
        const char *closer;
    } dialogs[] = {{[] { ShowSettings(nullptr); }, [] { return static_cast<QWidget *>(fmSettings); }, "btCancel"},
                   {[] { ShowAboutBox(nullptr); }, [] { return static_cast<QWidget *>(fmAboutBox); }, "btClose"}};
    for (const auto &d : dialogs) {
        QPoint centre;
        bool modal = false;
        OnNextModal(nullptr, [&](QWidget *w) {
            modal = d.global() == w && w->isModal();
            centre = w->frameGeometry().center();
            Ctl<QPushButton>(*w, d.closer)->click();
        });
        d.show();
        EXPECT_TRUE(modal) << d.closer;
        EXPECT_EQ(d.global(), nullptr);
        const QPoint want = QGuiApplication::primaryScreen()->availableGeometry().center();
        EXPECT_LE((centre - want).manhattanLength(), 2) << d.closer;
    }
}

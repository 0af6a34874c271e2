// The settings dialog: what it shows, what OK and Cancel do to the
// configuration, the folder check on OK and the browse button.
#include "app/fm_Settings.h"
#include "platform/core/IniFile.h"
#include "app/CFGIniFile.h"

#include "SettingsAboutTestUtil.h"
#include "TestUtil.h"

#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace app;
using namespace settingsabout_test;

namespace {

auto &Cfg() { return CFGAllData; }

class SettingsForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The dialog writes the program's own settings file; keep what was there.
        iniName_ = GetIniFileName();
        hadIni_ = testutil::FileExists(iniName_);
        if (hadIni_)
            oldIni_ = testutil::ReadFile(iniName_);
        std::filesystem::remove(iniName_);
        saved_ = Cfg();
        Cfg().DestinationFolder = tmp_.File("shots");
        Cfg().ImageFileFormat = "JPG";
    }
    void TearDown() override
    {
        Cfg() = saved_;
        TfmSettings::SetFolderPicker(nullptr);
        if (hadIni_)
            testutil::WriteFile(iniName_, oldIni_);
        else
            std::filesystem::remove(iniName_);
    }
    std::string iniName_, oldIni_;
    bool hadIni_ = false;
    testutil::TempDir tmp_;
    TCFGIniFile_AllData saved_;
};

} // namespace

TEST_F(SettingsForm, ShowsTheCaptionsFormatsAndConfiguredValues)
{
    TfmSettings f;
    EXPECT_EQ(f.windowTitle(), "Settings");
    EXPECT_EQ(Ctl<QPushButton>(f, "btOK")->text(), "Ok");
    EXPECT_EQ(Ctl<QPushButton>(f, "btCancel")->text(), "Cancel");
    EXPECT_EQ(Ctl<QPushButton>(f, "btHelp")->text(), "Help");
    EXPECT_TRUE(Ctl<QPushButton>(f, "btHelp")->isHidden());
    EXPECT_EQ(Ctl<QLabel>(f, "lbFileSaveFolder")->text(), "Destination folder");
    EXPECT_EQ(Ctl<QLabel>(f, "lbDefaultImageFormat")->text(), "Image file format");
    EXPECT_EQ(Ctl<QPushButton>(f, "btSelectFileSaveFolder")->text(), "...");
    EXPECT_TRUE(Ctl<QPushButton>(f, "btOK")->isDefault());
    EXPECT_FALSE(Ctl<QComboBox>(f, "cbImageFormat")->isEditable());

    ASSERT_EQ(Ctl<QComboBox>(f, "cbImageFormat")->count(), 4);
    EXPECT_EQ(Ctl<QComboBox>(f, "cbImageFormat")->itemText(0), "PNG");
    EXPECT_EQ(Ctl<QComboBox>(f, "cbImageFormat")->itemText(1), "JPG");
    EXPECT_EQ(Ctl<QComboBox>(f, "cbImageFormat")->itemText(2), "BMP");
    EXPECT_EQ(Ctl<QComboBox>(f, "cbImageFormat")->itemText(3), "TIF");
    EXPECT_EQ(Ctl<QComboBox>(f, "cbImageFormat")->currentText(), "JPG");
    EXPECT_EQ(Ctl<QLineEdit>(f, "edFileSaveFolder")->text().toStdString(), tmp_.File("shots"));

    EXPECT_EQ(f.palette().color(QPalette::Window), QColor(0x47, 0x00, 0xB8));
    EXPECT_EQ(Ctl<QFrame>(f, "pnMain")->palette().color(QPalette::Window), QColor(0x5F, 0x5F, 0x5F));
    EXPECT_EQ(Ctl<QFrame>(f, "Panel2")->palette().color(QPalette::Window), QColor(0x47, 0x00, 0xB8));
    EXPECT_EQ(f.size(), QSize(492, 355));
}

TEST_F(SettingsForm, FormatIsMatchedWithoutCaseAndAnUnknownOneSelectsNothing)
{
    Cfg().ImageFileFormat = "bmp";
    {
        TfmSettings f;
        EXPECT_EQ(Ctl<QComboBox>(f, "cbImageFormat")->currentIndex(), 2);
    }
    // The load's substring test lets values like this one through.
    Cfg().ImageFileFormat = "JP";
    TfmSettings f;
    EXPECT_EQ(Ctl<QComboBox>(f, "cbImageFormat")->currentIndex(), -1);
}

TEST_F(SettingsForm, CancelAndClosingChangeNothing)
{
    const std::string ini = "[Other]\nKey=1\n[Generics]\nDestinationFolder=/x\nImageFileFormat=GIF\n";
    testutil::WriteFile(iniName_, ini);
    const auto before = Cfg();
    {
        TfmSettings f;
        Ctl<QLineEdit>(f, "edFileSaveFolder")->setText(QString::fromStdString(tmp_.File("other")));
        Ctl<QComboBox>(f, "cbImageFormat")->setCurrentIndex(0);
        Ctl<QPushButton>(f, "btCancel")->click();
        EXPECT_EQ(f.result(), QDialog::Rejected);
    }
    {
        TfmSettings f;
        f.show();
        Ctl<QComboBox>(f, "cbImageFormat")->setCurrentIndex(3);
        f.close();
    }
    EXPECT_EQ(Cfg().DestinationFolder, before.DestinationFolder);
    EXPECT_EQ(Cfg().ImageFileFormat, before.ImageFileFormat);
    EXPECT_EQ(testutil::ReadFile(iniName_), ini);
}

TEST_F(SettingsForm, OkStoresTheChoice)
{
    TfmSettings f;
    Ctl<QLineEdit>(f, "edFileSaveFolder")->setText(QString::fromStdString(tmp_.File("new/deeper")));
    Ctl<QComboBox>(f, "cbImageFormat")->setCurrentIndex(2);
    Ctl<QPushButton>(f, "btOK")->click();
    EXPECT_EQ(f.result(), QDialog::Accepted);
    EXPECT_EQ(Cfg().DestinationFolder, tmp_.File("new/deeper"));
    EXPECT_EQ(Cfg().ImageFileFormat, "BMP");
    const platform::TMemIniFile ini(iniName_);
    EXPECT_EQ(ini.ReadSections(), std::vector<std::string>{"Generics"});
    EXPECT_EQ(ini.ReadString("Generics", "DestinationFolder", "?"), tmp_.File("new/deeper"));
    EXPECT_EQ(ini.ReadString("Generics", "ImageFileFormat", "?"), "BMP");
    // What the next start reads is the choice.
    TCFGIniFile reread;
    reread.Load();
    EXPECT_EQ(reread.AllData.DestinationFolder, tmp_.File("new/deeper"));
    EXPECT_EQ(reread.AllData.ImageFileFormat, "BMP");
    // The folder is only checked, never created, on OK.
    EXPECT_FALSE(std::filesystem::exists(tmp_.File("new")));
}

TEST_F(SettingsForm, OkWithoutChangesRewritesTheSameValuesAndKeepsForeignSections)
{
    testutil::WriteFile(iniName_, "[Daemon.AutomaticExecution]\nRun=1\n[Mine]\nA=b\n");
    TfmSettings f;
    Ctl<QPushButton>(f, "btOK")->click();
    const platform::TMemIniFile ini(iniName_);
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Mine", "Generics"}));
    EXPECT_EQ(ini.ReadString("Mine", "A", "?"), "b");
    EXPECT_EQ(ini.ReadString("Generics", "DestinationFolder", "?"), tmp_.File("shots"));
    EXPECT_EQ(ini.ReadString("Generics", "ImageFileFormat", "?"), "JPG");
}

TEST_F(SettingsForm, OkWhenTheSettingsFileCannotBeWrittenKeepsTheChoiceAndSaysSo)
{
    // A folder where the file should be makes every write fail, even for root.
    std::filesystem::create_directories(iniName_);
    TfmSettings f;
    f.show();
    Ctl<QComboBox>(f, "cbImageFormat")->setCurrentIndex(0);
    std::string shown;
    OnNextModal(&f, [&](QWidget *msg) {
        shown = LabelTexts(msg);
        msg->close();
    });
    Ctl<QPushButton>(f, "btOK")->click();
    std::filesystem::remove_all(iniName_);
    EXPECT_NE(shown.find("The settings could not be saved:"), std::string::npos) << shown;
    EXPECT_EQ(f.result(), QDialog::Accepted);
    EXPECT_EQ(Cfg().ImageFileFormat, "PNG");
}

TEST_F(SettingsForm, OkWithoutASelectedFormatKeepsTheCurrentFormat)
{
    Cfg().ImageFileFormat = "TIF";
    TfmSettings f;
    Ctl<QComboBox>(f, "cbImageFormat")->setCurrentIndex(-1);
    Ctl<QPushButton>(f, "btOK")->click();
    EXPECT_EQ(f.result(), QDialog::Accepted);
    EXPECT_EQ(Cfg().ImageFileFormat, "TIF");
}

TEST_F(SettingsForm, OkWithAFolderThatCannotBeCreatedShowsWhyAndKeepsTheDialogOpen)
{
    testutil::WriteFile(tmp_.File("plain.txt"), "x");
    const std::string bad = tmp_.File("plain.txt/sub");
    const auto before = Cfg();

    TfmSettings f;
    f.show();
    Ctl<QLineEdit>(f, "edFileSaveFolder")->setText(QString::fromStdString(bad));
    Ctl<QComboBox>(f, "cbImageFormat")->setCurrentIndex(0);
    std::string shown;
    OnNextModal(nullptr, [&](QWidget *msg) {
        shown = LabelTexts(msg) + msg->windowTitle().toStdString();
        msg->close();
    });
    Ctl<QPushButton>(f, "btOK")->click();

    EXPECT_NE(shown.find("The destination folder cannot be created or written:"), std::string::npos) << shown;
    EXPECT_NE(shown.find(tmp_.File("plain.txt")), std::string::npos) << shown;
    EXPECT_NE(shown.find("Korvane ScreenShot"), std::string::npos) << shown;
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(Ctl<QLineEdit>(f, "edFileSaveFolder")->text().toStdString(), bad);
    EXPECT_EQ(Cfg().DestinationFolder, before.DestinationFolder);
    EXPECT_EQ(Cfg().ImageFileFormat, before.ImageFileFormat);
}

TEST(DestinationFolderProblem, TellsWhetherCapturesCanBeSavedThere)
{
    testutil::TempDir tmp;
    EXPECT_EQ(DestinationFolderProblem(tmp.Path()), "");
    EXPECT_EQ(DestinationFolderProblem(tmp.Path() + "/"), "");
    EXPECT_EQ(DestinationFolderProblem(tmp.File("a/b/c")), "");
    EXPECT_NE(DestinationFolderProblem(""), "");
    EXPECT_NE(DestinationFolderProblem("  "), "");

    testutil::WriteFile(tmp.File("file"), "x");
    EXPECT_NE(DestinationFolderProblem(tmp.File("file")).find("Not a folder"), std::string::npos);
    EXPECT_EQ(DestinationFolderProblem(tmp.File("file/x/y")), "Not a folder: '" + tmp.File("file") + "'");
    EXPECT_EQ(std::filesystem::exists(tmp.File("a")), false);

    // Permissions do not bind the superuser.
    if (::geteuid() != 0) {
        std::filesystem::create_directory(tmp.File("ro"));
        ::chmod(tmp.File("ro").c_str(), 0555);
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
    Ctl<QLineEdit>(f, "edFileSaveFolder")->setText(QString::fromStdString(tmp_.Path()));
    Ctl<QPushButton>(f, "btSelectFileSaveFolder")->click();
    EXPECT_EQ(caption, "Select the File save folder");
    EXPECT_EQ(start, tmp_.Path());

    answer = tmp_.File("chosen");
    Ctl<QLineEdit>(f, "edFileSaveFolder")->setText(QString::fromStdString(tmp_.File("missing")));
    Ctl<QPushButton>(f, "btSelectFileSaveFolder")->click();
    EXPECT_EQ(start, TCFGIniFile::GetDefaults().DestinationFolder);
    EXPECT_EQ(Ctl<QLineEdit>(f, "edFileSaveFolder")->text().toStdString(), tmp_.File("chosen"));

    answer.reset(); // cancelled
    Ctl<QPushButton>(f, "btSelectFileSaveFolder")->click();
    EXPECT_EQ(Ctl<QLineEdit>(f, "edFileSaveFolder")->text().toStdString(), tmp_.File("chosen"));
    EXPECT_EQ(Cfg().DestinationFolder, tmp_.File("shots"));
}

TEST_F(SettingsForm, ShowSettingsIsModalCentredOnThePrimaryScreenAndFreed)
{
    QPoint centre;
    bool modal = false;
    OnNextModal(nullptr, [&](QWidget *w) {
        modal = fmSettings == w && w->isModal();
        centre = w->frameGeometry().center();
        Ctl<QPushButton>(*w, "btCancel")->click();
    });
    ShowSettings(nullptr);
    EXPECT_TRUE(modal);
    EXPECT_EQ(fmSettings, nullptr);
    const QPoint want = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((centre - want).manhattanLength(), 2) << centre.x() << "," << centre.y() << " vs " << want.x() << "," << want.y();
}

// The settings dialog (texts, OK/Cancel, folder check, browse) and the tray dialogs.
#include "app/CFGIniFile.h"
#include "app/fm_Settings.h"
#include "platform/core/IniFile.h"

#include "AppTestUtil.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace app;
using namespace apptest;
namespace fs = std::filesystem;

namespace {
class SettingsForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The dialog writes the program's own settings file; keep what was there.
        if (fs::exists(ini_))
            old_ = testutil::ReadFile(ini_);
        fs::remove(ini_);
        CFGAllData.DestinationFolder = tmp_.File("shots");
        CFGAllData.ImageFileFormat = "JPG";
    }
    void TearDown() override
    {
        CFGAllData = saved_;
        TfmSettings::SetFolderPicker(nullptr);
        fs::remove_all(ini_);
        if (old_)
            testutil::WriteFile(ini_, *old_);
    }
    static QComboBox *Format(const TfmSettings &f) { return Ctl<QComboBox>(f, "cbImageFormat"); }
    static QLineEdit *Folder(const TfmSettings &f) { return Ctl<QLineEdit>(f, "edFileSaveFolder"); }
    static void Click(const TfmSettings &f, const char *button) { Ctl<QPushButton>(f, button)->click(); }
    // Chooses `folder` (if any) and PNG, clicks OK; the message's labels and title.
    std::string OkShowingMessage(TfmSettings &f, const std::string &folder = "")
    {
        f.show();
        if (!folder.empty())
            Folder(f)->setText(QString::fromStdString(folder));
        Format(f)->setCurrentIndex(0);
        std::string shown;
        OnNextModal(&f, [&](QWidget *msg) {
            shown = msg->windowTitle().toStdString();
            for (const QLabel *l : msg->findChildren<QLabel *>())
                shown += "\n" + l->text().toStdString();
            msg->close();
        });
        Click(f, "btOK");
        return shown;
    }

    const std::string ini_ = GetIniFileName();
    std::optional<std::string> old_;
    testutil::TempDir tmp_;
    const TCFGIniFile_AllData saved_ = CFGAllData;
};
} // namespace

// The formats offered: the e2e test_save_formats; OK storing the choice: the e2e test_actions.
TEST_F(SettingsForm, MatchesTheConfiguredFormatWithoutCase)
{
    // An unknown format (the load lets "JP" through) selects nothing.
    for (const auto &[stored, index] : {std::pair{"bmp", 2}, {"JP", -1}}) {
        CFGAllData.ImageFileFormat = stored;
        EXPECT_EQ(Format(TfmSettings())->currentIndex(), index) << stored;
    }
}

TEST_F(SettingsForm, CancelChangesNothingAndOkNeverCreatesTheFolder)
{
    const std::string ini = "[Mine]\nA=b\n";
    testutil::WriteFile(ini_, ini);
    for (bool ok : {false, true}) {
        TfmSettings f;
        f.show();
        Folder(f)->setText(QString::fromStdString(tmp_.File("new/deeper")));
        Format(f)->setCurrentIndex(2);
        Click(f, ok ? "btOK" : "btCancel");
        EXPECT_EQ(CFGAllData.DestinationFolder, tmp_.File(ok ? "new/deeper" : "shots"));
        EXPECT_EQ(testutil::ReadFile(ini_) == ini, !ok);
    }
    EXPECT_FALSE(fs::exists(tmp_.File("new")));
}

TEST_F(SettingsForm, OkThatCannotBeCompletedSaysWhy)
{
    // A folder that cannot be created: the dialog stays open, nothing changes.
    testutil::WriteFile(tmp_.File("plain.txt"), "x");
    TfmSettings f;
    std::string shown = OkShowingMessage(f, tmp_.File("plain.txt/sub"));
    for (const std::string &part : {std::string("The destination folder cannot be created or written:"),
                                    tmp_.File("plain.txt"), std::string("Korvane ScreenShot")})
        EXPECT_NE(shown.find(part), std::string::npos) << shown;
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(CFGAllData.DestinationFolder, tmp_.File("shots"));

    // An unwritable settings file (a folder there fails even root): the choice is taken.
    fs::create_directories(ini_);
    TfmSettings g;
    shown = OkShowingMessage(g);
    EXPECT_NE(shown.find("The settings could not be saved:"), std::string::npos) << shown;
    EXPECT_EQ(g.result(), QDialog::Accepted);
    EXPECT_EQ(CFGAllData.ImageFileFormat, "PNG");
}

TEST(DestinationFolderProblem, TellsWhetherCapturesCanBeSavedThere)
{
    testutil::TempDir tmp;
    testutil::WriteFile(tmp.File("file"), "x");
    for (const std::string &ok : {tmp.Path() + "/", tmp.File("a/b/c")})
        EXPECT_EQ(DestinationFolderProblem(ok), "") << ok;
    EXPECT_NE(DestinationFolderProblem("  "), "");
    EXPECT_EQ(DestinationFolderProblem(tmp.File("a\r")), "The folder name contains a line break.");
    for (const char *relative : {"shots", "./shots", "~/shots"})
        EXPECT_EQ(DestinationFolderProblem(relative), "The folder must be a full path.") << relative;
    EXPECT_EQ(DestinationFolderProblem(tmp.File("file/x/y")), "Not a folder: '" + tmp.File("file") + "'");
    EXPECT_FALSE(fs::exists(tmp.File("a")));
    if (::geteuid() != 0) { // permissions do not bind the superuser
        fs::create_directory(tmp.File("ro"));
        fs::permissions(tmp.File("ro"), fs::perms(0555));
        EXPECT_NE(DestinationFolderProblem(tmp.File("ro/new")), "");
    }
}

TEST_F(SettingsForm, BrowseStartsAtTheEditedOrTheDefaultFolderAndTakesTheChoice)
{
    std::string start;
    std::optional<std::string> answer = tmp_.Path();
    TfmSettings::SetFolderPicker([&](QWidget *, const std::string &, const std::string &s) { return start = s, answer; });
    TfmSettings f;
    Folder(f)->setText(QString::fromStdString(tmp_.Path()));
    Click(f, "btSelectFileSaveFolder");
    EXPECT_EQ(start, tmp_.Path());
    answer = tmp_.File("chosen");
    Folder(f)->setText(QString::fromStdString(tmp_.File("missing")));
    Click(f, "btSelectFileSaveFolder");
    EXPECT_EQ(start, TCFGIniFile::GetDefaults().DestinationFolder);
    EXPECT_EQ(Folder(f)->text().toStdString(), tmp_.File("chosen"));

    answer.reset(); // cancelled
    Click(f, "btSelectFileSaveFolder");
    EXPECT_EQ(Folder(f)->text().toStdString(), tmp_.File("chosen"));
}

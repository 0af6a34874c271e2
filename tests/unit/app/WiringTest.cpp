// Start-up of the main form: the trace component becomes the process's trace
// with every output off, the text module comes up in built-in mode and the
// overlay text goes through it, and the settings are loaded and written back.
#include "app/CFGIniFile.h"
#include "app/fm_Main.h"

#include "FakeServices.h"
#include "TestUtil.h"
#include "platform/core/Exceptions.h"
#include "platform/core/IniFile.h"
#include "platform/core/ProgramPath.h"
#include "platform/gui/ExceptionDisplay.h"
#include "support/QX_VisualTraceCore.h"
#include "support/dm_LNG.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <gtest/gtest.h>

using app::TfmMain;

namespace {

class Wiring : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedConfig = app::CFGAllData;
        platform::SetExceptionDisplay([this](const std::exception &e) { shown.push_back(e.what()); });
    }
    void TearDown() override
    {
        form.reset();
        platform::SetExceptionDisplay({});
        app::CFGAllData = savedConfig;
    }
    // The form with fake display services and `load` as its settings loader.
    void Create(std::function<void()> load = {})
    {
        app::TMainFormServices s = services.Make();
        s.LoadSettings = std::move(load);
        form = std::make_unique<TfmMain>(std::move(s));
    }
    bool MenuEnabled() const
    {
        for (QAction *a : form->pmMainMenu->actions())
            if (!a->isEnabled())
                return false;
        return true;
    }

    fakes::TServices services;
    std::vector<std::string> shown;
    app::TCFGIniFile_AllData savedConfig;
    std::unique_ptr<TfmMain> form;
};

} // namespace

TEST_F(Wiring, TheFormsTraceComponentBecomesTheProcessTraceWithEveryOutputOff)
{
    Create();
    ASSERT_NE(form->Trc, nullptr);
    EXPECT_EQ(support::GlobalTrace.load(), static_cast<support::TVisualTraceCore *>(form->Trc));
    EXPECT_EQ(form->Trc->parent(), form.get());
    EXPECT_TRUE(form->Trc->Active());
    EXPECT_EQ(form->Trc->CurrentLevel(), 0);
    EXPECT_FALSE(form->Trc->ToFile());
    EXPECT_FALSE(form->Trc->ToScreen());
    EXPECT_FALSE(form->Trc->ToStandardOutput());
    EXPECT_FALSE(form->Trc->UseIniFile());
    EXPECT_TRUE(form->Trc->isHidden());

    // The data file: the program path with ".Trace.txt"; the test program's
    // folder is writable, so it stays beside the program.
    ASSERT_TRUE(platform::FolderIsWritable(platform::ProgramFolder()));
    EXPECT_EQ(form->Trc->DataFileName(), support::ProgramTraceDataFileName());
    EXPECT_EQ(form->Trc->DataFileName(),
              platform::ChangeFileExt(platform::ProgramFileName(), ".Trace.txt"));

    // At level 0 with every output off, the form's own trace lines (a
    // failed grab traces one at level 1) are not even queued.
    form->miCaptureAreaClick();
    EXPECT_TRUE(form->Idle());
    EXPECT_TRUE(form->Trc->PendingLines().empty());

    form.reset();
    EXPECT_EQ(support::GlobalTrace.load(), nullptr);
}

TEST_F(Wiring, TheFormsTraceLinesGoToTheProcessTrace)
{
    Create();
    std::vector<std::string> written;
    form->Trc->SetStandardOutputSink(
        [&](const std::vector<std::string> &lines) { written.insert(written.end(), lines.begin(), lines.end()); });
    // A user who turns the trace on (level 1, standard output) sees them.
    form->Trc->SetCurrentLevel(1);
    form->Trc->SetToStandardOutput(true);
    form->miCaptureAreaClick(); // the fake grabber has no screen: the grab fails
    const auto pending = form->Trc->PendingLines();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_NE(pending[0].find("Screen grab failed: the capture was not started"), std::string::npos)
        << pending[0];
    form.reset(); // the component's last lines still reach the output
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0], pending[0]);
}

TEST_F(Wiring, TheTextModuleComesUpBuiltInAndCarriesTheOverlayText)
{
    Create();
    ASSERT_NE(support::dmLNG, nullptr);
    EXPECT_EQ(support::dmLNG->parent(), form.get());
    EXPECT_EQ(support::dmLNG->Mode(), support::lngBuiltIn);
    EXPECT_EQ(support::dmLNG->FileName(), "");
    EXPECT_EQ(support::dmLNG->GetText(17586), "Ok");

    services.Log->Images = {QImage(64, 48, QImage::Format_RGB32)};
    form->miCaptureAreaClick();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->Trc->isVisible()); // the trace window stays hidden on the overlay
    EXPECT_EQ(form->lbMsg->text().toStdString(), "Select the area or press <Esc> to cancel");

    form.reset();
    EXPECT_EQ(support::dmLNG, nullptr);
}

TEST_F(Wiring, StartUpWritesTheSettingsStraightBack)
{
    testutil::TempDir dir;
    const std::string fresh = dir.File("fresh/shot.anna.ini");
    Create([&] { app::LoadConfiguration(fresh); });
    ASSERT_TRUE(testutil::FileExists(fresh));
    {
        platform::TMemIniFile ini(fresh);
        EXPECT_EQ(ini.ReadSections(), std::vector<std::string>{"Generics"});
        EXPECT_EQ(ini.ReadString("Generics", "DestinationFolder", "?"),
                  app::TCFGIniFile::GetDefaults().DestinationFolder);
        EXPECT_EQ(ini.ReadString("Generics", "ImageFileFormat", "?"), "PNG");
    }
    EXPECT_EQ(app::CFGAllData.ImageFileFormat, "PNG");
    form.reset();

    // A hand-edited file comes back normalised, its foreign section kept and
    // the obsolete one gone.
    const std::string edited = dir.File("shot.bob.ini");
    testutil::WriteFile(edited, "[Daemon.AutomaticExecution]\r\nRun=1\r\n"
                                "[Generics]\r\nDestinationFolder=/data/shots\r\nImageFileFormat=jpg\r\n"
                                "[Other]\r\nKey=Value\r\n");
    Create([&] { app::LoadConfiguration(edited); });
    {
        platform::TMemIniFile ini(edited);
        EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Generics", "Other"}));
        EXPECT_EQ(ini.ReadString("Generics", "DestinationFolder", "?"), "/data/shots");
        EXPECT_EQ(ini.ReadString("Generics", "ImageFileFormat", "?"), "JPG");
        EXPECT_EQ(ini.ReadSectionValues("Other"), std::vector<std::string>{"Key=Value"});
    }
    EXPECT_EQ(app::CFGAllData.DestinationFolder, "/data/shots");
    EXPECT_EQ(app::CFGAllData.ImageFileFormat, "JPG");
    EXPECT_TRUE(shown.empty());
}

TEST_F(Wiring, SettingsThatCannotBeLoadedAreShownAndStartUpGoesOn)
{
    Create([] { throw platform::Exception("Could not find MyDocuments folder location."); });
    EXPECT_EQ(shown, std::vector<std::string>{"Could not find MyDocuments folder location."});
    // The rest of the start-up happened: idle, menu on, both hot keys held.
    EXPECT_TRUE(form->Idle());
    EXPECT_TRUE(MenuEnabled());
    EXPECT_EQ(services.Log->Registered.size(), 2u);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->ScreenCopy().Width(), 0);
    EXPECT_NE(support::dmLNG, nullptr);
    // And the hot keys work.
    services.Log->Images = {QImage(64, 48, QImage::Format_RGB32)};
    services.HotKeys->Press(TfmMain::HotKeyArea);
    QCoreApplication::sendPostedEvents(form.get());
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->Idle());
}

TEST_F(Wiring, TheProgramsServicesLoadTheSettings)
{
    EXPECT_TRUE(app::TMainFormServices::System().LoadSettings);
}

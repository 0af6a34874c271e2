// The action loop on the real main form, with fake display services and an
// injected dialog runner that plays the user.
#include "app/EmailStuff.h"
#include "app/ModalRunner.h"
#include "app/fm_ShowMessageToUser.h"
#include "app/fm_WhatToDo.h"

#include "FakeServices.h"
#include "TestUtil.h"
#include "imaging/LinarBitmap.h"
#include "imaging/Streams.h"

#include <QLabel>
#include <QPushButton>
#include <deque>
#include <filesystem>

using namespace app;
namespace fs = std::filesystem;

namespace {
// Writes the image as "W H" and then its rows of blue-green-red bytes.
class TRawSaver : public imaging::TBitmapLoader {
public:
    int failures = 0; // saves that fail halfway before one succeeds
    bool CanSave(const std::string &Ext) override { return Ext == "RAW"; }
    bool CanLoad(const std::string &) override { return false; }
    void SaveToStream(imaging::TBaseStream &Stream, const std::string &,
                      const imaging::TLinearBitmap &Bitmap) override
    {
        const std::string head = std::to_string(Bitmap.Width) + " " + std::to_string(Bitmap.Height) + "\n";
        Stream.Write(head.data(), int(head.size()));
        if (failures > 0) {
            --failures;
            throw std::runtime_error("disk full");
        }
        for (int y = 0; y < Bitmap.Height; ++y)
            Stream.Write(Bitmap.ScanLine(y), Bitmap.Width * 3);
    }
};

class ActionsOnMainForm : public fakes::MainFormFixture {
protected:
    // What the user does with each dialog, in order: a choice button of the
    // action dialog, or "ok" for the message form.
    std::deque<std::string> script;
    std::vector<std::string> seen; // "whattodo(redo on|off)" or "message:<text>"

    void SetUp() override
    {
        MainFormFixture::SetUp();
        imaging::BitmapLoaders.Add(&saver);
        log->Images = {fakes::Screen(320, 200, 1), fakes::Screen(320, 200, 2)};
        Create();
        CFGAllData.DestinationFolder = dir.File("shots");
        CFGAllData.ImageFileFormat = "RAW";
    }
    void TearDown() override
    {
        MainFormFixture::TearDown();
        imaging::BitmapLoaders.Remove(&saver);
    }

    TScopedModalRunner runner{[this](QDialog &d) {
        if (auto *m = qobject_cast<TfmShowMessageToUser *>(&d)) {
            seen.push_back("message:" + m->lbMsg()->text().toStdString());
        } else if (auto *w = qobject_cast<TfmWhatToDo *>(&d)) {
            seen.push_back(std::string("whattodo(redo ") + (w->btRedoSelection()->isEnabled() ? "on)" : "off)"));
            EXPECT_FALSE(form->Idle());
            EXPECT_FALSE(form->miCaptureArea->isEnabled());
        }
        if (script.empty()) {
            ADD_FAILURE() << "a dialog more than the script expects";
            d.reject();
            return 0;
        }
        const std::string step = script.front();
        script.pop_front();
        if (step != "ok")
            d.findChild<QPushButton *>(QString::fromStdString(step))->click();
        return 0;
    }};

    void SelectArea(QPoint from, QPoint to)
    {
        PressHotKey(TfmMain::HotKeyArea);
        Drag({from, to});
        Release(to);
    }
    std::string Saved(int n) const
    {
        char name[32];
        std::snprintf(name, sizeof name, "shots/Image_%05d.RAW", n);
        return dir.File(name);
    }
    // The bytes a "RAW" file of the rectangle of screen `mark` holds.
    static std::string Expected(int x, int y, int w, int h, int mark)
    {
        std::string s = std::to_string(w) + " " + std::to_string(h) + "\n";
        for (int r = y; r < y + h; ++r)
            for (int c = x; c < x + w; ++c)
                s += {char(mark), char(r & 0xff), char(c & 0xff)};
        return s;
    }

    testutil::TempDir dir;
    TRawSaver saver;
};

} // namespace

TEST_F(ActionsOnMainForm, SaveWritesTheSelectionFromTheCleanCopyOrTheWholeScreen)
{
    script = {"btSave", "btSave"};
    SelectArea({30, 40}, {10, 20}); // up-left; column 30 and row 40 are not in it
    PressHotKey(TfmMain::HotKeyScreen);
    EXPECT_EQ(seen, (std::vector<std::string>{"whattodo(redo on)", "whattodo(redo off)"}));
    EXPECT_TRUE(script.empty());
    ExpectAtRest();
    // The second grab (mark 2) is the clean copy the selection comes from.
    EXPECT_EQ(testutil::ReadFile(Saved(1)), Expected(10, 20, 20, 20, 2));
    EXPECT_EQ(testutil::ReadFile(Saved(2)), Expected(0, 0, 320, 200, 2));
    EXPECT_EQ(form->LastFileName(), Saved(2));
}

TEST_F(ActionsOnMainForm, AFailedSaveIsShownThenTheDialogComesBackAndTheNextNumberIsUsed)
{
    saver.failures = 1;
    script = {"btSave", "ok", "btSave"};
    SelectArea({0, 0}, {3, 2});
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], "whattodo(redo on)");
    EXPECT_EQ(seen[1].rfind("message:System error (50.0FFF)\nException: 'disk full'\n"
                            "Destination folder: '" + dir.File("shots") + "'\n"
                            "File name: '" + Saved(1) + "'\n", 0),
              0u)
        << seen[1];
    EXPECT_EQ(seen[2], "whattodo(redo on)");
    EXPECT_FALSE(fs::exists(Saved(1)));
    EXPECT_EQ(testutil::ReadFile(Saved(2)), Expected(0, 0, 3, 2, 2));
    ExpectAtRest();
}

TEST_F(ActionsOnMainForm, MailSavesFirstThenStartsTheMailClientOrSaysWhyNot)
{
    TMailCommand mail;
    std::string failure;
    const TMailLauncher previous = SetMailLauncher([&](const TMailCommand &c) {
        mail = c;
        return failure;
    });
    script = {"btEMail"};
    SelectArea({2, 2}, {6, 6});
    EXPECT_TRUE(form->Idle());
    EXPECT_EQ(testutil::ReadFile(Saved(1)), Expected(2, 2, 4, 4, 2));
    ASSERT_EQ(mail.size(), 5u);
    EXPECT_EQ(mail[4], Saved(1));
    // No mail client: the reason is shown, the capture stays saved.
    failure = "xdg-email: No such file or directory";
    script = {"btEMail", "ok", "btCancel"};
    SelectArea({2, 2}, {6, 6});
    SetMailLauncher(previous);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[2].rfind("message:System error (50.0FFF)\nException: 'The mail program could not be started: "
                            "xdg-email: No such file or directory'\nFile name: '" + Saved(2) + "'\n", 0),
              0u)
        << seen[2];
    EXPECT_TRUE(fs::exists(Saved(2)));
    ExpectAtRest();
}

TEST_F(ActionsOnMainForm, RedoRestoresTheCleanCopyAndKeepsTheProgramBusyUntilTheNextActionEnds)
{
    script = {"btRedoSelection"};
    SelectArea({0, 0}, {8, 8});
    EXPECT_FALSE(form->Idle());
    EXPECT_TRUE(form->isVisible()); // the overlay is back, with no new grab
    EXPECT_EQ(log->Grabs, 2);
    EXPECT_EQ(form->imMain->Picture().Image(), form->ScreenCopy().Image());
    script = {"btCancel"};
    Drag({{1, 1}, {4, 4}});
    Release({4, 4});
    ExpectAtRest();
}

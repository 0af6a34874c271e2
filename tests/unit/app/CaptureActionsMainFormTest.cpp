// The action loop on the real main form, with fake display services and an
// injected dialog runner that plays the user.
#include "app/CFGIniFile.h"
#include "app/EmailStuff.h"
#include "app/ModalRunner.h"
#include "app/fm_Main.h"
#include "app/fm_ShowMessageToUser.h"
#include "app/fm_WhatToDo.h"

#include "FakeServices.h"
#include "TestUtil.h"
#include "imaging/LinarBitmap.h"
#include "imaging/Streams.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <deque>
#include <filesystem>
#include <gtest/gtest.h>

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

class ActionsOnMainForm : public ::testing::Test {
protected:
    // What the user does with each dialog, in order: a choice button of the
    // action dialog, or "ok" for the message form.
    std::deque<std::string> script;
    std::vector<std::string> seen; // "whattodo(redo on|off)" or "message:<text>"

    void SetUp() override
    {
        saved = CFGAllData;
        imaging::BitmapLoaders.Add(&saver);
        services.Log->Images = {fakes::Screen(320, 200, 1), fakes::Screen(320, 200, 2)};
        form = std::make_unique<TfmMain>(services.Make());
        // After the form loaded the settings file.
        CFGAllData.DestinationFolder = dir.File("shots");
        CFGAllData.ImageFileFormat = "RAW";
    }
    void TearDown() override
    {
        form.reset();
        imaging::BitmapLoaders.Remove(&saver);
        CFGAllData = saved;
    }

    TScopedModalRunner runner{[this](QDialog &d) {
        if (auto *m = qobject_cast<TfmShowMessageToUser *>(&d)) {
            seen.push_back("message:" + m->lbMsg()->text().toStdString());
        } else if (auto *w = qobject_cast<TfmWhatToDo *>(&d)) {
            seen.push_back(std::string("whattodo(redo ") +
                           (w->btRedoSelection()->isEnabled() ? "on)" : "off)"));
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

    void Mouse(QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons held)
    {
        const QPointF p(x, y);
        QMouseEvent ev(type, p, form->imMain->mapToGlobal(p), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(form->imMain, &ev);
    }
    void SelectArea(int x1, int y1, int x2, int y2)
    {
        services.HotKeys->Press(TfmMain::HotKeyArea);
        QCoreApplication::sendPostedEvents(form.get());
        Mouse(QEvent::MouseButtonPress, x1, y1, Qt::LeftButton, Qt::LeftButton);
        Mouse(QEvent::MouseMove, x2, y2, Qt::NoButton, Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, x2, y2, Qt::LeftButton, Qt::NoButton);
    }
    void WholeScreen()
    {
        services.HotKeys->Press(TfmMain::HotKeyScreen);
        QCoreApplication::sendPostedEvents(form.get());
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
    TCFGIniFile_AllData saved;
    TRawSaver saver;
    fakes::TServices services;
    std::unique_ptr<TfmMain> form;
};

} // namespace

TEST_F(ActionsOnMainForm, SaveWritesTheSelectionFromTheCleanCopy)
{
    script = {"btSave"};
    SelectArea(30, 40, 10, 20);
    EXPECT_EQ(seen, std::vector<std::string>{"whattodo(redo on)"});
    EXPECT_TRUE(script.empty());
    EXPECT_TRUE(form->Idle());
    EXPECT_FALSE(form->isVisible());
    // The second grab (mark 2) is the clean copy the selection comes from.
    EXPECT_EQ(testutil::ReadFile(Saved(1)), Expected(10, 20, 20, 20, 2));
    EXPECT_EQ(form->LastFileName(), Saved(1));
}

TEST_F(ActionsOnMainForm, WholeScreenOffersNoRedoAndSavesTheWholePicture)
{
    script = {"btSave"};
    WholeScreen();
    EXPECT_EQ(seen, std::vector<std::string>{"whattodo(redo off)"});
    EXPECT_TRUE(form->Idle());
    EXPECT_EQ(testutil::ReadFile(Saved(1)), Expected(0, 0, 320, 200, 1));
}

TEST_F(ActionsOnMainForm, FailureShowsTheMessageThenTheDialogComesBack)
{
    fs::create_directories(dir.File("shots"));
    CFGAllData.ImageFileFormat = "XYZ"; // no writer
    script = {"btSave", "ok", "btCancel"};
    SelectArea(0, 0, 5, 5);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], "whattodo(redo on)");
    EXPECT_EQ(seen[1].rfind("message:System error (50.0FFF)\nException: 'Unsupported file format: XYZ'\n"
                            "Destination folder: '" + dir.File("shots") + "'\n"
                            "File name: '" + dir.File("shots/Image_00001.XYZ") + "'\n", 0),
              0u)
        << seen[1];
    EXPECT_EQ(seen[2], "whattodo(redo on)");
    EXPECT_TRUE(form->Idle());
    EXPECT_TRUE(fs::is_empty(dir.File("shots")));

}

TEST_F(ActionsOnMainForm, RetryAfterAFailedWriteSavesUnderTheNextNumber)
{
    saver.failures = 1;
    script = {"btSave", "ok", "btSave"};
    SelectArea(0, 0, 3, 2);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_NE(seen[1].find("Exception: 'disk full'"), std::string::npos) << seen[1];
    EXPECT_FALSE(fs::exists(Saved(1)));
    EXPECT_EQ(testutil::ReadFile(Saved(2)), Expected(0, 0, 3, 2, 2));
    EXPECT_TRUE(form->Idle());
}

TEST_F(ActionsOnMainForm, MailSavesFirstThenStartsTheMailClient)
{
    TMailCommand mail;
    const TMailLauncher previous = SetMailLauncher([&](const TMailCommand &c) {
        mail = c;
        return true;
    });
    script = {"btEMail"};
    SelectArea(2, 2, 6, 6);
    SetMailLauncher(previous);
    EXPECT_TRUE(form->Idle());
    EXPECT_EQ(testutil::ReadFile(Saved(1)), Expected(2, 2, 4, 4, 2));
    ASSERT_EQ(mail.size(), 5u);
    EXPECT_EQ(mail[4], Saved(1));
}

TEST_F(ActionsOnMainForm, RedoKeepsTheProgramBusyUntilTheNextActionEnds)
{
    script = {"btRedoSelection"};
    SelectArea(0, 0, 8, 8);
    EXPECT_FALSE(form->Idle());
    EXPECT_TRUE(form->isVisible()); // the overlay is back, with no new grab
    EXPECT_EQ(services.Log->Grabs, 2);
    script = {"btCancel"};
    Mouse(QEvent::MouseButtonPress, 1, 1, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, 4, 4, Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, 4, 4, Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(form->Idle());
    EXPECT_FALSE(form->isVisible());
}

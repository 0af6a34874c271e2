#include "app/CFGIniFile.h"
#include "app/CaptureActions.h"
#include "app/EmailStuff.h"

#include "imaging/LinarBitmap.h"
#include "imaging/PNGLoader.h"
#include "imaging/Streams.h"
#include "platform/gui/Bitmap.h"
#include "TestUtil.h"

#include <QClipboard>
#include <QGuiApplication>
#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace app;
using support::TQXResultEx;
using testutil::ReadFile;
using testutil::WriteFile;
namespace fs = std::filesystem;

namespace {
// A writer for the extension "KST": the size and the first pixel's bytes
// as text, then, when asked to, a failure halfway through.
class TTestSaver : public imaging::TBitmapLoader {
public:
    bool failHalfway = false;
    bool CanSave(const std::string &Ext) override { return Ext == "KST"; }
    bool CanLoad(const std::string &) override { return false; }
    void SaveToStream(imaging::TBaseStream &Stream, const std::string &,
                      const imaging::TLinearBitmap &Bitmap) override
    {
        const std::string head = std::to_string(Bitmap.Width) + "x" + std::to_string(Bitmap.Height) +
                                 " " + std::to_string(int(Bitmap.PixelFormat)) + ":";
        Stream.Write(head.data(), int(head.size()));
        if (failHalfway)
            throw std::runtime_error("disk full");
        Stream.Write(Bitmap.ScanLine(0), 3);
    }
};

class CaptureActions : public ::testing::Test {
protected:
    void SetUp() override
    {
        imaging::BitmapLoaders.Add(&saver);
        CFGAllData.DestinationFolder = dir.File("shots");
        CFGAllData.ImageFileFormat = "KST";
        capture = QImage(4, 3, QImage::Format_BGR888);
        capture.fill(QColor(10, 20, 30));
    }
    void TearDown() override
    {
        imaging::BitmapLoaders.Remove(&saver);
        CFGAllData = saved;
    }
    TCaptureSource Source()
    {
        return {[this](platform::TBitmap &b) { b.Assign(capture); }, [this] { ++ends; }};
    }
    bool Save() { return SaveCaptureAction(Source(), counter, last, r); }
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        if (fs::exists(dir.File("shots")))
            for (const auto &e : fs::directory_iterator(dir.File("shots")))
                names.push_back(e.path().filename().string());
        return names;
    }

    testutil::TempDir dir;
    TCFGIniFile_AllData saved = CFGAllData;
    TTestSaver saver;
    QImage capture;
    int ends = 0;
    int counter = 0;
    std::string last;
    TQXResultEx r;
};
} // namespace

TEST_F(CaptureActions, FormatWithoutWriterFailsWithBothLinesAndLeavesNoFileTheNextSaveTakesTheNextNumber)
{
    CFGAllData.ImageFileFormat = "TIF";
    EXPECT_FALSE(Save());
    EXPECT_EQ(r.Code, 0x500FFF);
    EXPECT_EQ(r.Text, "Exception: 'Unsupported file format: TIF'\r\n"
                      "Destination folder: '" + dir.File("shots") + "'\r\n"
                      "File name: '" + dir.File("shots/Image_00001.TIF") + "'");
    EXPECT_NE(r.Detail.find("ClassName: 'EUnsupportedFileFormat'"), std::string::npos) << r.Detail;
    EXPECT_EQ(Files(), std::vector<std::string>{});
    EXPECT_EQ(ends, 0);

    CFGAllData.ImageFileFormat = "KST";
    r.Code = 7; // cleared by the action
    ASSERT_TRUE(Save()) << r.Text;
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(last, dir.File("shots/Image_00002.KST")); // past the name that was tried
    // 24-bit, blue-green-red.
    EXPECT_EQ(ReadFile(last), "4x3 " + std::to_string(int(imaging::pf24bit)) + ":\x1e\x14\x0a");
}

TEST_F(CaptureActions, AFailedWriteRemovesItsFile)
{
    saver.failHalfway = true;
    EXPECT_FALSE(Save());
    EXPECT_EQ(r.Text.rfind("Exception: 'disk full'\r\n", 0), 0u) << r.Text;
    EXPECT_EQ(Files(), std::vector<std::string>{});
    EXPECT_EQ(ends, 0);
}

TEST_F(CaptureActions, EmptySelectionWithThePngWriterFailsAndLeavesNoFile)
{
    imaging::RegisterPNGLoader();
    CFGAllData.ImageFileFormat = "PNG";
    capture = QImage(); // a click without a move selects nothing
    const bool ok = Save();
    imaging::UnregisterPNGLoader();
    EXPECT_FALSE(ok);
    EXPECT_EQ(r.Code, 0x500FFF);
    EXPECT_EQ(Files(), std::vector<std::string>{});
    EXPECT_EQ(ends, 0);
    EXPECT_NE(r.Text.find("\r\nFile name: '" + dir.File("shots/Image_00001.PNG") + "'"), std::string::npos);
}

TEST_F(CaptureActions, EmptyFolderSettingFailsBeforeANameIsChosen)
{
    CFGAllData.DestinationFolder = "";
    counter = 6;
    last = "/x/Image_00006.KST";
    EXPECT_FALSE(Save());
    EXPECT_EQ(counter, 6);
    EXPECT_EQ(r.Text, "Exception: 'Unable to create directory'\r\nDestination folder: ''\r\n"
                      "File name: '/x/Image_00006.KST'");
}

TEST_F(CaptureActions, FolderThatCannotBeCreatedIsReported)
{
    WriteFile(dir.File("file"), "x");
    CFGAllData.DestinationFolder = dir.File("file/shots");
    EXPECT_FALSE(Save());
    EXPECT_EQ(counter, 1);
    const std::string name = dir.File("file/shots/Image_00001.KST");
    EXPECT_NE(r.Text.find("Cannot create file \"" + name), std::string::npos) << r.Text;
    EXPECT_NE(r.Text.find("\r\nFile name: '" + name + "'"), std::string::npos);
}

TEST_F(CaptureActions, ClipboardGetsTheCapture)
{
    capture.setPixelColor(3, 2, QColor(200, 100, 50));
    ASSERT_TRUE(CopyCaptureToClipboardAction(Source(), r));
    EXPECT_EQ(ends, 1);
    const QImage got = QGuiApplication::clipboard()->image();
    ASSERT_EQ(got.size(), QSize(4, 3));
    EXPECT_EQ(got.pixelColor(0, 0), QColor(10, 20, 30));
    EXPECT_EQ(got.pixelColor(3, 2), QColor(200, 100, 50));

    TCaptureSource broken = Source();
    broken.CopyCaptureTo = [](platform::TBitmap &) { throw platform::EOutOfResources("no memory"); };
    EXPECT_FALSE(CopyCaptureToClipboardAction(broken, r));
    EXPECT_EQ(r.Text, "Exception: 'no memory'");
    EXPECT_EQ(ends, 1);
}

TEST_F(CaptureActions, MailSubjectCarriesTheProgramCaption)
{
    TMailCommand seen;
    TMailLauncher previous = SetMailLauncher([&](const TMailCommand &c) {
        seen = c;
        return std::string();
    });
    const bool ok = SendCaptureMailAction("/p/Image_00003.PNG", r);
    SetMailLauncher(previous);
    EXPECT_TRUE(ok);
    EXPECT_EQ(seen, (TMailCommand{"xdg-email", "--subject", "Image captured with Korvane ScreenShot - Ver. 2.0",
                                  "--attach", "/p/Image_00003.PNG"}));
}

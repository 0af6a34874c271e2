#pragma once
// The main form: never shown at start; owns the global hot keys, the tray icon
// with its menu and the frozen copy of the screen, and becomes the full-screen
// selection overlay during an area capture.
#include "platform/core/Geometry.h"
#include "platform/gui/Bitmap.h"
#include "platform/gui/Image.h"
#include "platform/os/HotKeys.h"
#include "platform/os/KeyState.h"
#include "platform/os/ScreenGrab.h"
#include "platform/os/WindowWatch.h"
#include "support/QX_VisualTrace.h"

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace Ui {
class fmMain;
}
namespace support {
struct TQXResultEx;
}

namespace app {

// The system services the form works with; tests hand in fakes.
struct TMainFormServices {
    std::unique_ptr<platform::THotKeys> HotKeys;
    std::unique_ptr<platform::TKeyState> KeyState;
    std::unique_ptr<platform::TScreenGrabber> Grabber;
    // Reads the user's settings into CFGAllData and writes them straight
    // back; empty: the settings are left as they are.
    std::function<void()> LoadSettings;
    // Those of the display the program runs on, and the user's settings file.
    static TMainFormServices System();
};

class TfmMain : public QWidget {
    Q_OBJECT
public:
    static constexpr int HotKeyArea = 1;   // Ctrl+PrintScreen
    static constexpr int HotKeyScreen = 2; // Alt+PrintScreen

    explicit TfmMain(TMainFormServices services = TMainFormServices::System(),
                     QWidget *parent = nullptr);
    ~TfmMain() override;

    void SetupTrace();
    void RegisterCaptureHotKeys();
    void UnregisterCaptureHotKeys();
    // A hot key was pressed: posts the request to this form; it runs when the
    // message loop gets to it.
    void WMHotKey(int id);
    void WMSelectArea(int id);
    void SetMenuEnabled(bool enabled);
    void StartAreaSelection(bool grab);
    void RedoSelection();
    // False (nothing changed) when the screen could not be read.
    bool GrabWholeScreen();
    bool GrabScreenTo(platform::TBitmap &bitmap);
    void EndCapture();
    // The capture of the current mode as a fresh 24-bit bitmap.
    void CopyCaptureTo(platform::TBitmap &bitmap);
    void CopySelectionTo(platform::TBitmap &bitmap);
    void UpdateRegionText();
    void ChoosePanelTarget(int x, int y);
    void RunWhatToDo(bool areaSelected);
    // The capture actions (fm_Main_Actions.cpp): each clears r first and
    // returns whether r is success.
    bool SaveCapture(support::TQXResultEx &r);
    bool CopyCaptureToClipboard(support::TQXResultEx &r);
    bool MailCapture(support::TQXResultEx &r);
    bool SendCaptureMail(const std::string &fileName, support::TQXResultEx &r);
    const std::string &LastFileName() const { return FLastFileName; }
    int FileCounter() const { return FFileCounter; }

    void MainMouseDown(Qt::MouseButton button, Qt::MouseButtons buttons, int x, int y);
    void MainMouseMove(Qt::MouseButtons buttons, int x, int y);
    void MainMouseUp(Qt::MouseButton button, Qt::MouseButtons buttons, int x, int y);
    void tmMoveDescrTimer();
    void tmCheckEscTimer();
    void miCaptureAreaClick();
    void miCaptureScreenClick();
    void miOpenDestinationFolderClick();
    void miSettingsClick();
    void miAboutClick();
    void miExitClick();

    // Read-outs of the form's state.
    bool Idle() const { return FIdle; }
    std::uint8_t CaptureMode() const { return FCaptureMode; }
    const platform::TRect &Selection() const { return FSelection; }
    platform::TPoint DragStart() const { return FDragStart; }
    platform::TPoint DragCurrent() const { return FDragCurrent; }
    int PanelTargetLeft() const { return FPanelTargetLeft; }
    int PanelTargetTop() const { return FPanelTargetTop; }
    const platform::TBitmap &ScreenCopy() const { return *FScreenCopy; }

    // Components (owned by the form).
    platform::TImage *imMain = nullptr;
    QFrame *pnMsg = nullptr;
    QLabel *Image1 = nullptr;
    QFrame *Panel2 = nullptr;
    QLabel *lbMsg = nullptr;
    QLabel *lbRegion = nullptr;
    QLabel *lbCurrent = nullptr;
    QMenu *pmMainMenu = nullptr;
    QAction *miCaptureArea = nullptr;
    QAction *miCaptureScreen = nullptr;
    QAction *miOpenDestinationFolder = nullptr;
    QAction *miSettings = nullptr;
    QAction *miAbout = nullptr;
    QAction *miExit = nullptr;
    QSystemTrayIcon *tiMain = nullptr;
    QTimer *tmMoveDescr = nullptr;
    QTimer *tmCheckEsc = nullptr;
    support::TVisualTrace *Trc = nullptr;

protected:
    void customEvent(QEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void FormCreate();
    void FormDestroy() noexcept;
    // Escape during the selection: the overlay goes and the program is idle.
    void CancelSelection();
    // Another client destroyed the form's window: the next show needs a new
    // one, and a selection in progress ends as Escape ends it.
    void OverlayDestroyed();
    // Registers one capture hot key; a key another program holds is reported
    // once (trace and standard error) and the program goes on without it.
    void RegisterCaptureHotKey(int id, unsigned modifiers, const char *keyName, const char *menuItem);
    // Shows, once, the hot keys found held by other programs at start.
    void TellHeldHotKeys();
    void CreateMenu();
    // Before a capture from the tray menu: the menu gone, the screen repainted.
    void LetMenuGo();
    static constexpr int kMenuSettleMs = 150;
    void ShowOverlay();
    platform::TPoint ClampToScreenCopy(int x, int y) const;
    void Trace(int level, const std::string &text);
    // The settings step of the start-up: runs the services' LoadSettings; a
    // failure is shown and the start-up goes on.
    void LoadConfiguration();
    // Runs a handler; an exception ends the capture, re-enables the menu and
    // is shown, so the program never stays busy with dead hot keys.
    template <class F> void Guarded(F &&f);
    void RecoverFromError() noexcept;

    std::unique_ptr<Ui::fmMain> ui_;
    TMainFormServices services_;

    // Made here too, so that a start-up that failed early leaves one.
    std::unique_ptr<platform::TBitmap> FScreenCopy = std::make_unique<platform::TBitmap>();
    platform::TPoint FDragStart;
    platform::TPoint FDragCurrent;
    platform::TRect FSelection;
    int FPanelTargetLeft = 10;
    int FPanelTargetTop = 10;
    std::string FLastFileName;
    int FFileCounter = 0;
    bool FIdle = false;
    std::uint8_t FCaptureMode = 0;
    // Hot keys reported as held by another program (bit = id), so that the
    // registration after every capture does not repeat the warning.
    unsigned FReportedHotKeys = 0;
    // What the user is told about them at start; the start-up is over.
    std::string FHeldKeysText;
    bool FStarted = false;
    std::unique_ptr<platform::TOutsideDestroyWatch> FWindowWatch;
};

// The one main form of the process (null when there is none).
extern TfmMain *fmMain;

} // namespace app

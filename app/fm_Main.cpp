#include "app/fm_Main.h"

#include "app/CFGIniFile.h"
#include "app/CaptureFormStyle.h"
#include "app/CaptureTexts.h"
#include "app/ImagingHooks.h"
#include "app/fm_AboutBox.h"
#include "app/fm_Settings.h"
#include "app/fm_ShowMessageToUser.h"
#include "platform/gui/Colors.h"
#include "platform/core/ProgramPath.h"
#include "platform/gui/ExceptionDisplay.h"
#include "support/DebugSwitch.h"
#include "support/TextRoutines.h"
#include "support/dm_LNG.h"
#include "ui_fm_Main.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace app {

TfmMain *fmMain = nullptr;

namespace {

// The posted request of a hot key, carrying its id.
class TSelectAreaEvent : public QEvent {
public:
    explicit TSelectAreaEvent(int id) : QEvent(EventType()), Id(id) {}
    static QEvent::Type EventType()
    {
        static const auto type = QEvent::Type(QEvent::registerEventType());
        return type;
    }
    int Id;
};

void SetPixelFont(QWidget *w, int pixels, bool bold)
{
    QFont f = w->font();
    f.setPixelSize(pixels);
    f.setBold(bold);
    w->setFont(f);
}

} // namespace

template <class F> void TfmMain::Guarded(F &&f)
{
    // The capture ends before the message shows, so the program is idle
    // again behind it.
    platform::RunShowingExceptions([&] {
        try {
            f();
        } catch (...) {
            RecoverFromError();
            throw;
        }
    });
}

TMainFormServices TMainFormServices::System()
{
    TMainFormServices s;
    s.HotKeys = platform::CreateSystemHotKeys();
    s.KeyState = platform::CreateSystemKeyState();
    s.Grabber = platform::CreateSystemScreenGrabber();
    s.LoadSettings = [] { app::LoadConfiguration(); };
    return s;
}

TfmMain::TfmMain(TMainFormServices services, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      ui_(std::make_unique<Ui::fmMain>()), services_(std::move(services))
{
    ui_->setupUi(this);
    imMain = ui_->imMain;
    pnMsg = ui_->pnMsg;
    Image1 = ui_->Image1;
    Panel2 = ui_->Panel2;
    lbMsg = ui_->lbMsg;
    lbRegion = ui_->lbRegion;
    lbCurrent = ui_->lbCurrent;

    platform::SetControlColor(this, platform::clBlack);
    platform::SetControlColor(pnMsg, clFormBack);
    platform::SetControlColor(Panel2, clPanelBack);
    // The instruction panel only shows: presses, moves and releases over it
    // belong to the selection underneath, also when the pointer lands on it
    // without moving first (touch screens, tablets, warped pointers).
    pnMsg->setAttribute(Qt::WA_TransparentForMouseEvents);
    for (QLabel *l : {lbMsg, lbRegion, lbCurrent})
        platform::SetFontColor(l, platform::clYellow);
    SetPixelFont(lbMsg, 16, true);
    SetPixelFont(lbRegion, 11, false);
    SetPixelFont(lbCurrent, 11, false);
    const QPixmap logo(":/BITMAP/LOGO");
    if (!logo.isNull())
        Image1->setPixmap(logo.scaled(Image1->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));

    CreateMenu();
    tiMain = new QSystemTrayIcon(QIcon(":/ICON/MAINICON"), this);
    tiMain->setContextMenu(pmMainMenu);

    tmMoveDescr = new QTimer(this);
    tmMoveDescr->setInterval(15);
    tmMoveDescr->setTimerType(Qt::PreciseTimer);
    connect(tmMoveDescr, &QTimer::timeout, this, [this] { Guarded([this] { tmMoveDescrTimer(); }); });
    tmCheckEsc = new QTimer(this);
    tmCheckEsc->setInterval(50);
    connect(tmCheckEsc, &QTimer::timeout, this, [this] { Guarded([this] { tmCheckEscTimer(); }); });
    Trc = new support::TVisualTrace(this);
    Trc->setObjectName("Trc");

    connect(imMain, &platform::TImage::MouseDown, this,
            [this](Qt::MouseButton b, Qt::MouseButtons bs, Qt::KeyboardModifiers, int x, int y) {
                Guarded([&] { MainMouseDown(b, bs, x, y); });
            });
    connect(imMain, &platform::TImage::MouseMove, this,
            [this](Qt::MouseButtons bs, Qt::KeyboardModifiers, int x, int y) {
                Guarded([&] { MainMouseMove(bs, x, y); });
            });
    connect(imMain, &platform::TImage::MouseUp, this,
            [this](Qt::MouseButton b, Qt::MouseButtons bs, Qt::KeyboardModifiers, int x, int y) {
                Guarded([&] { MainMouseUp(b, bs, x, y); });
            });

    if (services_.HotKeys)
        services_.HotKeys->SetHandler([this](int id) { WMHotKey(id); });
    FWindowWatch = std::make_unique<platform::TOutsideDestroyWatch>(
        [this] { return quintptr(internalWinId()); }, [this] { Guarded([this] { OverlayDestroyed(); }); });

    fmMain = this;
    // As after any handler: a failure is shown and the program stays, idle.
    Guarded([this] { FormCreate(); });
    FStarted = true;
    tiMain->show();
    tmCheckEsc->start();
    // Told once the message loop runs: whoever pressed the key must learn
    // why nothing happens, with or without a tray to show a balloon in.
    if (!FHeldKeysText.empty())
        QTimer::singleShot(0, this, [this] { Guarded([this] { TellHeldHotKeys(); }); });
}

TfmMain::~TfmMain()
{
    FormDestroy();
    if (services_.HotKeys)
        services_.HotKeys->SetHandler({});
    if (fmMain == this)
        fmMain = nullptr;
}

void TfmMain::CreateMenu()
{
    pmMainMenu = new QMenu(this);
    auto add = [this](QAction *&item, const char *name, const QString &caption, const char *image,
                      void (TfmMain::*handler)()) {
        item = pmMainMenu->addAction(QIcon(QString(":/MENU/") + image), caption);
        item->setObjectName(name);
        connect(item, &QAction::triggered, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    };
    add(miCaptureArea, "miCaptureArea", "Capture Area" + QString(17, ' ') + "Ctrl+PrintScreen",
        "CAPTUREAREA", &TfmMain::miCaptureAreaClick);
    add(miCaptureScreen, "miCaptureScreen", "Capture Screen" + QString(14, ' ') + "Alt+PrintScreen",
        "CAPTURESCREEN", &TfmMain::miCaptureScreenClick);
    add(miOpenDestinationFolder, "miOpenDestinationFolder", "Open Destination Folder", "OPENFOLDER",
        &TfmMain::miOpenDestinationFolderClick);
    add(miSettings, "miSettings", "&Settings", "SETTINGS", &TfmMain::miSettingsClick);
    add(miAbout, "miAbout", "&About", "ABOUT", &TfmMain::miAboutClick);
    add(miExit, "miExit", "&Exit", "EXIT", &TfmMain::miExitClick);
}

void TfmMain::FormCreate()
{
    SetupTrace();
    support::GlobalTrace = Trc;
    RegisterCaptureHotKeys();
    hide();
    FFileCounter = 0;
    FPanelTargetLeft = 10;
    FPanelTargetTop = 10;
    support::dmLNG = new support::TdmLNG(this);
    support::dmLNG->SetMode(support::lngBuiltIn);
    std::string lngError; // the built-in texts open nothing and report nothing
    support::dmLNG->Open("", lngError);
    FScreenCopy = std::make_unique<platform::TBitmap>();
    LoadConfiguration();
    SetMenuEnabled(true);
    // On an ordinary day the coordinate labels (Top 59) lie below the panel.
    if (!support::IsDebugDay())
        pnMsg->resize(pnMsg->width(), 57);
    AddImagePlugins();
}

void TfmMain::FormDestroy() noexcept
{
    try {
        FScreenCopy.reset();
        UnregisterCaptureHotKeys();
    } catch (...) {
    }
}

void TfmMain::SetupTrace()
{
    // Beside the program, or in the state folder when the program's folder
    // is not the user's to write.
    Trc->SetDataFileName(support::ProgramTraceDataFileName());
    Trc->hide();
    Trc->SetCurrentLevel(0);
    Trc->SetToFile(false);
    Trc->SetToScreen(false);
    Trc->SetToStandardOutput(false);
    Trc->SetUseIniFile(false);
    Trc->Activate();
}

void TfmMain::LoadConfiguration()
{
    // Settings that cannot be read are shown, but the start-up goes on: a
    // program left busy would have dead hot keys and a disabled menu.
    if (services_.LoadSettings)
        Guarded([this] { services_.LoadSettings(); });
}

void TfmMain::Trace(int level, const std::string &text)
{
    support::TraceGlobal(level, text);
}

void TfmMain::RegisterCaptureHotKeys()
{
    if (!services_.HotKeys)
        return;
    RegisterCaptureHotKey(HotKeyArea, platform::hkControl, "Ctrl+PrintScreen", "Capture Area");
    RegisterCaptureHotKey(HotKeyScreen, platform::hkAlt, "Alt+PrintScreen", "Capture Screen");
}

void TfmMain::RegisterCaptureHotKey(int id, unsigned modifiers, const char *keyName, const char *menuItem)
{
    // A combination another program holds (a desktop's own screenshot key,
    // say) is not fatal: that capture path never fires, and the user is told
    // once which key it is.
    const unsigned bit = 1u << id;
    if (services_.HotKeys->Register(id, modifiers, platform::ksPrint)) {
        FReportedHotKeys &= ~bit;
        return;
    }
    if (FReportedHotKeys & bit)
        return;
    FReportedHotKeys |= bit;
    if (!FStarted)
        FHeldKeysText = support::AppendLine(
            FHeldKeysText,
            support::SubstArgs(support::LngText("Another program holds the hot key %, so it cannot start a "
                                                "capture; \"%\" in the tray menu still captures."),
                               {keyName, menuItem}));
    const std::string what = std::string("the hot key ") + keyName +
                             " is held by another program; it will not start a capture";
    Trace(1, "Hot key not registered: " + what);
    std::fprintf(stderr, "%s: %s\n", platform::ExtractFileName(platform::ProgramFileName()).c_str(),
                 what.c_str());
    std::fflush(stderr);
}

void TfmMain::UnregisterCaptureHotKeys()
{
    if (!services_.HotKeys)
        return;
    services_.HotKeys->Unregister(HotKeyArea);
    services_.HotKeys->Unregister(HotKeyScreen);
}

void TfmMain::WMHotKey(int id)
{
    // Qt owns a posted event and deletes it after delivery.
    QCoreApplication::postEvent(this, new TSelectAreaEvent(id));
}

void TfmMain::customEvent(QEvent *e)
{
    if (e->type() == TSelectAreaEvent::EventType()) {
        const int id = static_cast<TSelectAreaEvent *>(e)->Id;
        Guarded([this, id] { WMSelectArea(id); });
        return;
    }
    QWidget::customEvent(e);
}

void TfmMain::WMSelectArea(int id)
{
    if (!FIdle)
        return;
    if (id == HotKeyArea) {
        SetMenuEnabled(false);
        StartAreaSelection(true);
    } else if (id == HotKeyScreen) {
        SetMenuEnabled(false);
        if (GrabWholeScreen())
            RunWhatToDo(false);
    }
}

void TfmMain::SetMenuEnabled(bool enabled)
{
    FIdle = enabled;
    for (QAction *a : pmMainMenu->actions())
        a->setEnabled(enabled);
}

void TfmMain::StartAreaSelection(bool grab)
{
    FCaptureMode = 1;
    lbMsg->setText(ToWidgetText(support::LngText("Select the area or press <Esc> to cancel")));
    if (grab && !(GrabScreenTo(imMain->Picture()) && GrabScreenTo(*FScreenCopy))) {
        // Never show a stale or black overlay: stay idle.
        Trace(1, "Screen grab failed: the capture was not started");
        SetMenuEnabled(true);
        return;
    }
    imMain->Changed();
    ShowOverlay();
    tmMoveDescr->start();
}

void TfmMain::ShowOverlay()
{
    // Maximised and on top: here the whole primary screen, so that the
    // frozen copy lies exactly over the screen it was taken from.
    if (QScreen *s = QGuiApplication::primaryScreen())
        setGeometry(s->geometry());
    setWindowState(Qt::WindowFullScreen);
    show();
    raise();
    activateWindow();
}

void TfmMain::RedoSelection()
{
    FCaptureMode = 1;
    // Wipes the focus rectangle left by the previous drag.
    imMain->Picture().Draw(0, 0, *FScreenCopy);
    imMain->Changed();
    StartAreaSelection(false);
}

bool TfmMain::GrabWholeScreen()
{
    FCaptureMode = 2;
    if (GrabScreenTo(imMain->Picture()))
        return true;
    Trace(1, "Screen grab failed: the capture was not started");
    SetMenuEnabled(true);
    return false;
}

bool TfmMain::GrabScreenTo(platform::TBitmap &bitmap)
{
    if (!services_.Grabber)
        return false;
    QImage img = services_.Grabber->GrabPrimary(QImage::Format_BGR888);
    if (img.isNull())
        return false;
    bitmap.Assign(img);
    return true;
}

void TfmMain::EndCapture()
{
    UnregisterCaptureHotKeys();
    hide();
    RegisterCaptureHotKeys();
}

void TfmMain::CopyCaptureTo(platform::TBitmap &bitmap)
{
    if (FCaptureMode == 1) {
        CopySelectionTo(bitmap);
        return;
    }
    const platform::TBitmap &src = imMain->Picture();
    bitmap.SetPixelFormat(src.PixelFormat());
    bitmap.SetSize(src.Width(), src.Height());
    const platform::TRect all{0, 0, src.Width(), src.Height()};
    bitmap.CopyRect(all, src, all);
}

void TfmMain::CopySelectionTo(platform::TBitmap &bitmap)
{
    // Kept inside the screen copy, so a selection never reads outside it.
    platform::TRect sel = support::NormalizedRect(FSelection.Left, FSelection.Top, FSelection.Right,
                                                  FSelection.Bottom);
    sel.Left = support::EnsureInRange(0, sel.Left, FScreenCopy->Width());
    sel.Right = support::EnsureInRange(0, sel.Right, FScreenCopy->Width());
    sel.Top = support::EnsureInRange(0, sel.Top, FScreenCopy->Height());
    sel.Bottom = support::EnsureInRange(0, sel.Bottom, FScreenCopy->Height());
    bitmap.SetPixelFormat(FScreenCopy->PixelFormat());
    bitmap.SetSize(sel.Width(), sel.Height());
    bitmap.CopyRect({0, 0, bitmap.Width(), bitmap.Height()}, *FScreenCopy, sel);
}

void TfmMain::UpdateRegionText()
{
    lbRegion->setText(QString::fromStdString(support::RectToText(FSelection)));
}

void TfmMain::ChoosePanelTarget(int x, int y)
{
    const int w = imMain->width();
    const int h = imMain->height();
    FPanelTargetLeft = (w / 2 >= x) ? w - pnMsg->width() - 10 : 10;
    FPanelTargetTop = (h / 2 >= y) ? h - pnMsg->height() - 10 : 10;
}

platform::TPoint TfmMain::ClampToScreenCopy(int x, int y) const
{
    // The mouse can leave the overlay while the button is held (another
    // monitor); positions are kept on the screen copy, its far edges included
    // since Right and Bottom are exclusive.
    return {support::EnsureInRange(0, x, FScreenCopy->Width()),
            support::EnsureInRange(0, y, FScreenCopy->Height())};
}

void TfmMain::MainMouseDown(Qt::MouseButton button, Qt::MouseButtons, int x, int y)
{
    if (button != Qt::LeftButton)
        return;
    FDragStart = ClampToScreenCopy(x, y);
    FDragCurrent = FDragStart;
    UpdateRegionText();
}

void TfmMain::MainMouseMove(Qt::MouseButtons buttons, int x, int y)
{
    const platform::TPoint p = ClampToScreenCopy(x, y);
    lbCurrent->setText(QString::fromStdString(support::PointToText(p)));
    if (buttons & Qt::LeftButton) {
        imMain->DrawFocusRect(support::NormalizedRect(FDragStart.X, FDragStart.Y, FDragCurrent.X, FDragCurrent.Y));
        FSelection = support::NormalizedRect(FDragStart.X, FDragStart.Y, p.X, p.Y);
        imMain->DrawFocusRect(FSelection);
        FDragCurrent = p;
        UpdateRegionText();
    }
    // The panel lives in widget units; they differ from picture pixels only
    // on a scaled display.
    const qreal dpr = imMain->devicePixelRatioF();
    ChoosePanelTarget(int(p.X / dpr), int(p.Y / dpr));
}

void TfmMain::MainMouseUp(Qt::MouseButton button, Qt::MouseButtons, int, int)
{
    if (button != Qt::LeftButton)
        return;
    // The release position itself is not used: the selection is what the
    // last move showed.
    FSelection = support::NormalizedRect(FDragStart.X, FDragStart.Y, FDragCurrent.X, FDragCurrent.Y);
    UpdateRegionText();
    // A click, or a drag along one line, selects no pixel: no picture can be
    // made of it, so the overlay stays for a real drag or Escape.
    if (FSelection.Width() <= 0 || FSelection.Height() <= 0)
        return;
    tmMoveDescr->stop();
    hide();
    RunWhatToDo(true);
}

void TfmMain::tmMoveDescrTimer()
{
    auto step = [](int pos, int target) {
        if (std::abs(pos - target) > 50)
            return pos < target ? pos + 50 : pos - 50;
        return target;
    };
    pnMsg->move(step(pnMsg->x(), FPanelTargetLeft), step(pnMsg->y(), FPanelTargetTop));
}

void TfmMain::tmCheckEscTimer()
{
    if (isVisible() && services_.KeyState && services_.KeyState->IsKeyDown(platform::ksEscape))
        CancelSelection();
}

void TfmMain::keyPressEvent(QKeyEvent *e)
{
    // The poll above misses a tap released between two ticks; the overlay's
    // own key press catches it.
    if (e->key() == Qt::Key_Escape && isVisible()) {
        Guarded([this] { CancelSelection(); });
        return;
    }
    QWidget::keyPressEvent(e);
}

void TfmMain::CancelSelection()
{
    EndCapture();
    SetMenuEnabled(true);
}

void TfmMain::OverlayDestroyed()
{
    // Qt still holds the dead window and would show nothing on it: drop it,
    // so that the next show makes a new one. The form was visible only while
    // selecting; no Escape can reach a window that is gone.
    const bool selecting = isVisible();
    destroy(true, true);
    if (selecting)
        CancelSelection();
}

void TfmMain::LetMenuGo()
{
    // The menu has only just closed: without this the grab would show what
    // of it, or of the windows under it, was not yet repainted.
    pmMainMenu->hide();
    platform::LetScreenSettle(kMenuSettleMs);
}

void TfmMain::miCaptureAreaClick()
{
    SetMenuEnabled(false);
    LetMenuGo();
    StartAreaSelection(true);
}

void TfmMain::miCaptureScreenClick()
{
    SetMenuEnabled(false);
    LetMenuGo();
    if (GrabWholeScreen())
        RunWhatToDo(false);
}

namespace {
// Enables the tray menu again when a modal form opened from it is done,
// also when the form throws.
class TMenuBack {
public:
    explicit TMenuBack(TfmMain *form) : form_(form) {}
    ~TMenuBack()
    {
        try {
            form_->SetMenuEnabled(true);
        } catch (...) {
        }
    }
    TMenuBack(const TMenuBack &) = delete;
    TMenuBack &operator=(const TMenuBack &) = delete;

private:
    TfmMain *form_;
};
} // namespace

void TfmMain::TellHeldHotKeys()
{
    if (!FIdle) {
        // A capture started first; the message waits until it is over.
        QTimer::singleShot(500, this, [this] { Guarded([this] { TellHeldHotKeys(); }); });
        return;
    }
    const std::string text = std::exchange(FHeldKeysText, std::string());
    SetMenuEnabled(false);
    const TMenuBack back(this);
    ShowMessageToUser(ApplicationTitle(), text);
}

void TfmMain::miSettingsClick()
{
    SetMenuEnabled(false);
    const TMenuBack back(this); // even when the form cannot be created
    ShowSettings(nullptr);        // the settings form has no owner
}

void TfmMain::miAboutClick()
{
    SetMenuEnabled(false);
    const TMenuBack back(this);
    ShowAboutBox(this);
}

void TfmMain::miExitClick()
{
    close();
}

void TfmMain::closeEvent(QCloseEvent *e)
{
    // Closing the main form ends the message loop.
    e->accept();
    QCoreApplication::quit();
}

void TfmMain::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    imMain->setGeometry(rect());
}

void TfmMain::RecoverFromError() noexcept
{
    try {
        tmMoveDescr->stop();
        EndCapture();
        SetMenuEnabled(true);
    } catch (...) {
    }
}

} // namespace app

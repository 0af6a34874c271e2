#include "platform/os/HotKeys.h"

#include "platform/os/X11Display.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <X11/keysym.h>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <vector>
#include <xcb/xcb.h>

namespace platform {

namespace {

struct TGrab {
    std::uint32_t Root;
    std::uint8_t Keycode;
    std::uint16_t Mods;
};

struct TRegistration {
    std::uint16_t Mods = 0; // X modifier mask without the lock keys
    std::vector<std::uint8_t> Keycodes;
    std::vector<TGrab> Grabs; // the grabs this client really holds
};

class TX11HotKeys final : public THotKeys, public QAbstractNativeEventFilter {
public:
    TX11HotKeys()
    {
        if (auto *app = QCoreApplication::instance())
            app->installNativeEventFilter(this);
    }

    ~TX11HotKeys() override
    {
        try {
            while (!regs_.empty())
                Unregister(regs_.begin()->first);
            if (auto *app = QCoreApplication::instance())
                app->removeNativeEventFilter(this);
        } catch (...) {
        }
    }

    bool Register(int id, unsigned modifiers, unsigned keysym) override
    {
        Unregister(id);
        xcb_connection_t *c = x11::Connection();
        if (!c)
            return false;
        numLock_ = x11::ModifierMaskOf(XK_Num_Lock, XCB_MOD_MASK_2);
        TRegistration reg;
        if (modifiers & hkShift)
            reg.Mods |= XCB_MOD_MASK_SHIFT;
        if (modifiers & hkControl)
            reg.Mods |= XCB_MOD_MASK_CONTROL;
        if (modifiers & hkAlt)
            reg.Mods |= x11::ModifierMaskOf(XK_Alt_L, XCB_MOD_MASK_1);
        if (modifiers & hkSuper)
            reg.Mods |= x11::ModifierMaskOf(XK_Super_L, XCB_MOD_MASK_4);
        reg.Keycodes = x11::KeycodesOf(keysym);
        bool complete = !reg.Keycodes.empty();

        // The grab is per exact modifier state, so the lock keys each need
        // their own grab or the key would be dead while they are on.
        const std::uint16_t variants[] = {0, XCB_MOD_MASK_LOCK, numLock_,
                                          static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | numLock_)};
        struct TPending {
            TGrab Grab;
            xcb_void_cookie_t Cookie;
        };
        std::vector<TPending> pending;
        for (std::uint32_t root : x11::AllRoots())
            for (std::uint8_t key : reg.Keycodes)
                for (std::uint16_t v : variants) {
                    const std::uint16_t mods = reg.Mods | v;
                    bool dup = false;
                    for (const auto &p : pending)
                        dup = dup || (p.Grab.Root == root && p.Grab.Keycode == key && p.Grab.Mods == mods);
                    if (dup)
                        continue;
                    pending.push_back({{root, key, mods},
                                       xcb_grab_key_checked(c, 1, root, mods, key, XCB_GRAB_MODE_ASYNC,
                                                            XCB_GRAB_MODE_ASYNC)});
                }
        for (auto &p : pending) {
            if (xcb_generic_error_t *err = xcb_request_check(c, p.Cookie)) {
                // Usually BadAccess: another client holds this combination.
                std::free(err);
                complete = false;
            } else {
                reg.Grabs.push_back(p.Grab);
            }
        }
        xcb_flush(c);
        regs_[id] = std::move(reg);
        return complete;
    }

    void Unregister(int id) override
    {
        auto it = regs_.find(id);
        if (it == regs_.end())
            return;
        if (xcb_connection_t *c = x11::Connection()) {
            for (const TGrab &g : it->second.Grabs)
                xcb_ungrab_key(c, g.Keycode, g.Root, g.Mods);
            xcb_flush(c);
        }
        regs_.erase(it);
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t" || regs_.empty())
            return false;
        auto *ev = static_cast<xcb_generic_event_t *>(message);
        if ((ev->response_type & 0x7f) != XCB_KEY_PRESS)
            return false;
        auto *key = reinterpret_cast<xcb_key_press_event_t *>(ev);
        const std::uint16_t mods = key->state & 0xff & ~(XCB_MOD_MASK_LOCK | numLock_);
        for (const auto &[id, reg] : regs_) {
            if (reg.Mods != mods)
                continue;
            for (const TGrab &g : reg.Grabs)
                if (g.Keycode == key->detail && g.Root == key->root) {
                    Fire(id);
                    return true;
                }
        }
        return false;
    }

private:
    std::map<int, TRegistration> regs_;
    std::uint16_t numLock_ = XCB_MOD_MASK_2;
};

} // namespace

std::unique_ptr<THotKeys> CreateSystemHotKeys()
{
    return std::make_unique<TX11HotKeys>();
}

} // namespace platform

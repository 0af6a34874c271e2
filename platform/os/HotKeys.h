#pragma once
// System-wide hot keys. A registered combination fires the handler with its
// id on the main thread, whatever window has the focus.
#include <functional>
#include <memory>

namespace platform {

// Modifier flags of a hot key.
enum THotKeyModifier : unsigned {
    hkAlt = 1,
    hkControl = 2,
    hkShift = 4,
    hkSuper = 8,
};

class THotKeys {
public:
    using THandler = std::function<void(int id)>;
    virtual ~THotKeys() = default;
    void SetHandler(THandler handler) { handler_ = std::move(handler); }

    // Registers `modifiers` + the key of the X keysym `keysym` under `id`
    // (replacing an earlier registration of that id). False when the key
    // could not be grabbed in full, e.g. another program holds it; the parts
    // that could be grabbed stay registered.
    virtual bool Register(int id, unsigned modifiers, unsigned keysym) = 0;
    virtual void Unregister(int id) = 0;

protected:
    void Fire(int id)
    {
        if (handler_)
            handler_(id);
    }

private:
    THandler handler_;
};

// Hot keys of the X display the application runs on: key grabs on the root
// windows through Qt's connection, for every keycode of the key and with and
// without Caps Lock and Num Lock. Without X11 nothing can be registered.
std::unique_ptr<THotKeys> CreateSystemHotKeys();

} // namespace platform

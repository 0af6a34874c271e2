#include "platform/os/X11Display.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtGui/qguiapplication_platform.h>
#include <qpa/qplatformnativeinterface.h>

#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

namespace platform::x11 {

xcb_connection_t *Connection()
{
    auto *app = qGuiApp;
    if (!app)
        return nullptr;
    auto *x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

void Sync()
{
    if (xcb_connection_t *c = Connection())
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

std::vector<std::uint32_t> AllRoots()
{
    std::vector<std::uint32_t> roots;
    xcb_connection_t *c = Connection();
    if (!c)
        return roots;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it))
        roots.push_back(it.data->root);
    return roots;
}

std::uint32_t PrimaryRoot()
{
    if (!Connection())
        return 0;
    QScreen *screen = QGuiApplication::primaryScreen();
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    if (screen && native) {
        void *root = native->nativeResourceForScreen("rootwindow", screen);
        if (root)
            return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(root));
    }
    const auto roots = AllRoots();
    return roots.empty() ? 0 : roots.front();
}

std::vector<std::uint8_t> KeycodesOf(std::uint32_t keysym)
{
    std::vector<std::uint8_t> codes;
    xcb_connection_t *c = Connection();
    if (!c)
        return codes;
    std::unique_ptr<xcb_key_symbols_t, void (*)(xcb_key_symbols_t *)> syms(
        xcb_key_symbols_alloc(c), xcb_key_symbols_free);
    if (!syms)
        return codes;
    std::unique_ptr<xcb_keycode_t, void (*)(void *)> list(
        xcb_key_symbols_get_keycode(syms.get(), keysym), std::free);
    if (!list)
        return codes;
    for (const xcb_keycode_t *k = list.get(); *k != XCB_NO_SYMBOL; ++k)
        codes.push_back(*k);
    return codes;
}

std::uint16_t ModifierMaskOf(std::uint32_t keysym, std::uint16_t fallback)
{
    xcb_connection_t *c = Connection();
    if (!c)
        return fallback;
    const auto codes = KeycodesOf(keysym);
    if (codes.empty())
        return fallback;
    std::unique_ptr<xcb_get_modifier_mapping_reply_t, void (*)(void *)> map(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr), std::free);
    if (!map)
        return fallback;
    const int perMod = map->keycodes_per_modifier;
    const xcb_keycode_t *keys = xcb_get_modifier_mapping_keycodes(map.get());
    const int total = xcb_get_modifier_mapping_keycodes_length(map.get());
    for (int mod = 0; mod < 8; ++mod)
        for (int i = 0; i < perMod && mod * perMod + i < total; ++i) {
            const xcb_keycode_t k = keys[mod * perMod + i];
            for (std::uint8_t code : codes)
                if (k != 0 && k == code)
                    return static_cast<std::uint16_t>(1u << mod);
        }
    return fallback;
}

} // namespace platform::x11

#include "platform/os/KeyState.h"

#include "platform/os/X11Display.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <vector>
#include <xcb/xcb.h>

namespace platform {

namespace {

class TX11KeyState final : public TKeyState {
public:
    bool IsKeyDown(unsigned keysym) override
    {
        xcb_connection_t *c = x11::Connection();
        if (!c)
            return false;
        auto it = codes_.find(keysym);
        if (it == codes_.end())
            it = codes_.emplace(keysym, x11::KeycodesOf(keysym)).first;
        if (it->second.empty())
            return false;
        xcb_query_keymap_reply_t *reply = xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr);
        if (!reply)
            return false;
        bool down = false;
        for (std::uint8_t k : it->second)
            down = down || (reply->keys[k / 8] & (1u << (k % 8))) != 0;
        std::free(reply);
        return down;
    }

private:
    std::map<unsigned, std::vector<std::uint8_t>> codes_;
};

} // namespace

std::unique_ptr<TKeyState> CreateSystemKeyState()
{
    return std::make_unique<TX11KeyState>();
}

} // namespace platform

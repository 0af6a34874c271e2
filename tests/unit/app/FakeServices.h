#pragma once
// Stand-ins for the hot keys, key state and screen grabber of the display, so
// the main form can be driven without X.
#include "app/fm_Main.h"

#include <QImage>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

namespace fakes {

// A screen whose every pixel tells where it is: red = x, green = y, blue =
// the grab's mark. Each grab gets its own mark.
inline QImage Screen(int w, int h, int mark)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(x & 0xff, y & 0xff, mark));
    return img;
}


// What the fakes saw; shared so it outlives the form that owns the fakes.
struct TLog {
    std::map<int, std::pair<unsigned, unsigned>> Registered; // id -> modifiers, keysym
    int Registrations = 0;
    int Unregistrations = 0;
    bool EscapeDown = false;
    int Grabs = 0;
    // Each grab returns the next image (the last one repeats); a null image
    // is a failed grab. `Throw` makes the grab raise.
    std::vector<QImage> Images;
    bool Throw = false;
    // This many hot-key registrations raise before they start to work.
    int RegistrationFailures = 0;
};

class THotKeys : public platform::THotKeys {
public:
    explicit THotKeys(std::shared_ptr<TLog> log) : log_(std::move(log)) {}
    bool Register(int id, unsigned modifiers, unsigned keysym) override
    {
        if (log_->RegistrationFailures > 0) {
            --log_->RegistrationFailures;
            throw std::runtime_error("The keyboard went away");
        }
        log_->Registered[id] = {modifiers, keysym};
        ++log_->Registrations;
        return true;
    }
    void Unregister(int id) override
    {
        log_->Registered.erase(id);
        ++log_->Unregistrations;
    }
    // The user presses a registered combination.
    void Press(int id)
    {
        if (log_->Registered.count(id))
            Fire(id);
    }

private:
    std::shared_ptr<TLog> log_;
};

class TKeyState : public platform::TKeyState {
public:
    explicit TKeyState(std::shared_ptr<TLog> log) : log_(std::move(log)) {}
    bool IsKeyDown(unsigned keysym) override { return keysym == platform::ksEscape && log_->EscapeDown; }

private:
    std::shared_ptr<TLog> log_;
};

class TGrabber : public platform::TScreenGrabber {
public:
    explicit TGrabber(std::shared_ptr<TLog> log) : log_(std::move(log)) {}
    QImage GrabPrimary(QImage::Format format) override
    {
        const int n = log_->Grabs++;
        if (log_->Throw)
            throw std::runtime_error("The display went away");
        if (log_->Images.empty())
            return {};
        const QImage &img = log_->Images[std::min<std::size_t>(std::size_t(n), log_->Images.size() - 1)];
        return img.isNull() ? img : img.convertToFormat(format);
    }

private:
    std::shared_ptr<TLog> log_;
};

struct TServices {
    std::shared_ptr<TLog> Log = std::make_shared<TLog>();
    THotKeys *HotKeys = nullptr; // owned by the form

    app::TMainFormServices Make()
    {
        app::TMainFormServices s;
        auto hk = std::make_unique<THotKeys>(Log);
        HotKeys = hk.get();
        s.HotKeys = std::move(hk);
        s.KeyState = std::make_unique<TKeyState>(Log);
        s.Grabber = std::make_unique<TGrabber>(Log);
        return s;
    }
};

} // namespace fakes

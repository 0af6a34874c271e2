#pragma once
// Fake hot keys, key state and screen grabber to drive the main form without X, and its fixture.
#include "app/CFGIniFile.h"
#include "app/fm_Main.h"
#include "platform/gui/ExceptionDisplay.h"

#include <QAction>
#include <QCoreApplication>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <memory>
#include <stdexcept>
#include <vector>

namespace fakes {

// A screen whose every pixel tells where it is: red = x, green = y, blue = `mark`.
inline QImage Screen(int w, int h, int mark)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(x & 0xff, y & 0xff, mark));
    return img;
}

// What the fakes saw and do; shared so it outlives the form that owns them.
struct TLog {
    std::set<int> Registered; // hot key ids
    int Grabs = 0;
    std::vector<QImage> Images; // grab n gives image n (the last repeats); null: a failed grab
    bool Throw = false;         // the grab raises
    int RegistrationFailures = 0; // this many registrations raise first
    std::set<int> Held;           // hot key ids another program holds
};

struct THotKeys : platform::THotKeys {
    explicit THotKeys(std::shared_ptr<TLog> log) : log_(std::move(log)) {}
    bool Register(int id, unsigned, unsigned) override
    {
        if (log_->RegistrationFailures > 0 && log_->RegistrationFailures--)
            throw std::runtime_error("The keyboard went away");
        if (log_->Held.count(id))
            return false;
        log_->Registered.insert(id);
        return true;
    }
    void Unregister(int id) override { log_->Registered.erase(id); }
    void Press(int id) // the user presses a combination
    {
        if (log_->Registered.count(id))
            Fire(id);
    }
    std::shared_ptr<TLog> log_;
};

struct TKeyState : platform::TKeyState { // Escape never held
    bool IsKeyDown(unsigned) override { return false; }
};

struct TGrabber : platform::TScreenGrabber {
    explicit TGrabber(std::shared_ptr<TLog> log) : log_(std::move(log)) {}
    QImage GrabPrimary(QImage::Format format) override
    {
        const std::size_t n = std::size_t(log_->Grabs++);
        if (log_->Throw)
            throw std::runtime_error("The display went away");
        if (log_->Images.empty())
            return {};
        const QImage &img = log_->Images[std::min(n, log_->Images.size() - 1)];
        return img.isNull() ? img : img.convertToFormat(format);
    }
    std::shared_ptr<TLog> log_;
};

// A main form on fake services; the failures it shows go to `shown`; the configuration is restored.
class MainFormFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedConfig = app::CFGAllData;
        platform::SetExceptionDisplay([this](const std::exception &e) { shown.push_back(e.what()); });
    }
    void TearDown() override
    {
        form.reset();
        platform::SetExceptionDisplay({});
        app::CFGAllData = savedConfig;
    }
    void Create(std::function<void()> load = {}) // `load`: the settings loader
    {
        app::TMainFormServices s;
        auto hk = std::make_unique<THotKeys>(log);
        hotKeys = hk.get();
        s.HotKeys = std::move(hk);
        s.KeyState = std::make_unique<TKeyState>();
        s.Grabber = std::make_unique<TGrabber>(log);
        s.LoadSettings = std::move(load);
        form = std::make_unique<app::TfmMain>(std::move(s));
    }
    void PressHotKey(int id)
    {
        hotKeys->Press(id);
        QCoreApplication::sendPostedEvents(form.get());
    }
    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent ev(type, QPointF(at), form->imMain->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(form->imMain, &ev);
    }
    void Drag(std::initializer_list<QPoint> path) // press at the first point, move through the others
    {
        for (auto it = path.begin(); it != path.end(); ++it)
            it == path.begin() ? Mouse(QEvent::MouseButtonPress, *it, Qt::LeftButton, Qt::LeftButton)
                               : Mouse(QEvent::MouseMove, *it, Qt::NoButton, Qt::LeftButton);
    }
    void Release(QPoint at) { Mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton); }
    bool AllItemsEnabled(bool enabled) const
    {
        const auto items = form->pmMainMenu->actions();
        return std::all_of(items.begin(), items.end(), [&](QAction *a) { return a->isEnabled() == enabled; });
    }
    void ExpectAtRest() const // no overlay, idle, menu on, both hot keys held
    {
        EXPECT_FALSE(form->isVisible());
        EXPECT_TRUE(form->Idle());
        EXPECT_TRUE(AllItemsEnabled(true));
        EXPECT_EQ(log->Registered.size(), 2u);
    }

    std::shared_ptr<TLog> log = std::make_shared<TLog>();
    THotKeys *hotKeys = nullptr; // owned by the form
    std::vector<std::string> shown;
    app::TCFGIniFile_AllData savedConfig;
    std::unique_ptr<app::TfmMain> form;
};

} // namespace fakes

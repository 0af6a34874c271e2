#include "app/fm_WhatToDo.h"

#include "app/ModalRunner.h"
#include "platform/core/Exceptions.h"
#include "platform/gui/ExceptionDisplay.h"

#include "AppTestUtil.h"

#include <QKeyEvent>
#include <QPushButton>
#include <variant>
#include <gtest/gtest.h>

using namespace app;

namespace {
// Shows the dialog with the real modal loop and does `act` once it runs.
std::uint8_t RunWith(TfmWhatToDo &dlg, const std::function<void()> &act)
{
    bool ran = false;
    QTimer::singleShot(0, &dlg, [&] { ran = true, act(); });
    QTimer::singleShot(5000, &dlg, [&] { dlg.done(-1); }); // never hang
    RunModal(dlg);
    EXPECT_TRUE(ran);
    return dlg.Choice;
}
} // namespace

TEST(WhatToDo, ChoiceButtonsAndKeysEndTheDialogWithTheirCode)
{
    // A key on the focused Save button, or "close"; the buttons: ActionsOnMainForm and the e2e test_actions.
    const std::pair<std::variant<const char *, int>, std::uint8_t> cases[] = {
        {Qt::Key_Escape, wtdCancel}, {Qt::Key_Return, wtdSave}, {"close", wtdNone}};
    for (const auto &[act, choice] : cases) {
        TfmWhatToDo dlg;
        EXPECT_EQ(RunWith(dlg, [&, act = act] {
                      if (const int *key = std::get_if<int>(&act)) {
                          EXPECT_EQ(dlg.focusWidget(), dlg.btSave());
                          QKeyEvent press(QEvent::KeyPress, *key, Qt::NoModifier);
                          QApplication::sendEvent(dlg.btSave(), &press);
                      } else if (std::get<0>(act) == std::string("close"))
                          dlg.close();
                      else
                          apptest::Ctl<QPushButton>(dlg, std::get<0>(act))->click();
                  }),
                  choice);
        EXPECT_FALSE(dlg.isVisible());
    }
}

TEST(WhatToDo, SettingsAndAboutOpenOnTopAndAFailureThereIsShownWithTheDialogKept)
{
    std::vector<std::string> shown;
    platform::SetExceptionDisplay([&](const std::exception &e) { shown.push_back(e.what()); });
    TfmWhatToDo dlg;
    std::vector<std::string> opened;
    {
        TScopedModalRunner runner([&](QDialog &d) -> int {
            opened.push_back(d.metaObject()->className());
            EXPECT_EQ(d.parentWidget(), &dlg) << opened.back();
            throw platform::Exception("Could not find MyDocuments folder location.");
        });
        EXPECT_NO_THROW(dlg.btSettings()->click(); dlg.btAbout()->click());
    }
    platform::SetExceptionDisplay({});
    EXPECT_EQ(opened, (std::vector<std::string>{"app::TfmSettings", "app::TfmAboutBox"}));
    EXPECT_EQ(shown, std::vector<std::string>(2, "Could not find MyDocuments folder location."));
    EXPECT_TRUE(dlg.Choice == wtdNone && dlg.result() == 0);
}

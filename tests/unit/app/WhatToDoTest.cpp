#include "app/fm_WhatToDo.h"

#include "app/ModalRunner.h"
#include "platform/core/Exceptions.h"
#include "platform/gui/ExceptionDisplay.h"

#include <QPushButton>
#include <gtest/gtest.h>

using namespace app;

// The buttons and keys that end the dialog: ActionsOnMainForm and the e2e test_actions (Return saves, Escape cancels).
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

#include "platform/gui/InputQuery.h"

#include <QInputDialog>

namespace platform {

bool InputQuery(const std::string &Caption, const std::string &Prompt, std::string &Value)
{
    bool ok = false;
    const QString text = QInputDialog::getText(nullptr, QString::fromStdString(Caption), QString::fromStdString(Prompt),
                                               QLineEdit::Normal, QString::fromStdString(Value), &ok);
    if (ok)
        Value = text.toStdString();
    return ok;
}

} // namespace platform

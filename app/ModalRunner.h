#pragma once
// Every modal form of the capture actions is shown through RunModal, so that
// tests (which have no user to press a button) can put their own runner in
// place of QDialog::exec.
#include <functional>

class QDialog;
class QWidget;

namespace app {

using TModalRunner = std::function<int(QDialog &)>;

// Shows `dialog` modally and returns its result code (QDialog::exec unless a
// runner was installed).
int RunModal(QDialog &dialog);

// Installs `runner` for the lifetime of this object and restores the previous
// one afterwards.
class TScopedModalRunner {
public:
    explicit TScopedModalRunner(TModalRunner runner);
    ~TScopedModalRunner();
    TScopedModalRunner(const TScopedModalRunner &) = delete;
    TScopedModalRunner &operator=(const TScopedModalRunner &) = delete;

private:
    TModalRunner previous_;
};

// Creates a form of class F with `parent`, publishes it in `global` while it
// is shown modally (centred on the primary screen when shown), then frees it
// and clears `global`, also when showing throws.
template <class F>
int ShowModalForm(QWidget *parent, F *&global)
{
    F form(parent);
    struct Unpublish {
        F *&global;
        ~Unpublish() { global = nullptr; }
    } unpublish{global};
    global = &form;
    form.centerOnShow = true;
    return RunModal(form);
}

} // namespace app

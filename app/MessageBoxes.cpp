#include "MessageBoxes.h"

namespace {

TMessageBoxHook& Hook()
{
    static TMessageBoxHook hook;
    return hook;
}

}  // namespace

QMessageBox::StandardButton ShowMessageBox(QWidget* Parent, QMessageBox::Icon Icon, const QString& Title,
                                           const QString& Text, QMessageBox::StandardButtons Buttons)
{
    if (Hook()) return Hook()(Parent, Icon, Title, Text, Buttons);
    QMessageBox box(Icon, Title, Text, Buttons, Parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void SetMessageBoxHook(TMessageBoxHook AHook)
{
    Hook() = std::move(AHook);
}

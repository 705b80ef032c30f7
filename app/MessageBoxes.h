// Every message box of the editor goes through ShowMessageBox, so that tests can
// answer boxes without a person (SetMessageBoxHook). GUI thread only.
#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

// Caption of the editor's own messages.
inline const QString kReminderCaption = QStringLiteral("提醒");

using TMessageBoxHook = std::function<QMessageBox::StandardButton(
    QWidget* Parent, QMessageBox::Icon Icon, const QString& Title, const QString& Text,
    QMessageBox::StandardButtons Buttons)>;

// Shows a modal box and returns the button that closed it.
QMessageBox::StandardButton ShowMessageBox(QWidget* Parent, QMessageBox::Icon Icon, const QString& Title,
                                           const QString& Text,
                                           QMessageBox::StandardButtons Buttons = QMessageBox::Ok);

// Replaces the real box (tests); an empty hook restores it.
void SetMessageBoxHook(TMessageBoxHook Hook);

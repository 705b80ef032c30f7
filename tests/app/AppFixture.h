// Shared by the window tests: a settings file of the test's own, and message boxes
// recorded and answered instead of shown.
#pragma once

#include "Ini.h"
#include "MessageBoxes.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

struct TRecordedBox {
    QMessageBox::Icon Icon;
    QString Title;
    QString Text;
};

class AppFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FFolder.isValid());
        FIniPath = FFolder.filePath(QStringLiteral("qerimolrc.ini"));
        TIni::SetDefaultFileNameOverride(FIniPath);
        SetMessageBoxHook([this](QWidget*, QMessageBox::Icon Icon, const QString& Title, const QString& Text,
                                 QMessageBox::StandardButtons) {
            FBoxes.push_back({Icon, Title, Text});
            if (FDuringBox) FDuringBox();
            return QMessageBox::Ok;
        });
    }

    void TearDown() override
    {
        SetMessageBoxHook({});
        TIni::SetDefaultFileNameOverride({});
    }

    void WriteIni(const QByteArray& Bytes)
    {
        QFile file(FIniPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(Bytes), Bytes.size());
    }

    QByteArray ReadIni() const
    {
        QFile file(FIniPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Runs Action from the event loop once a modal dialog is up, then returns when
    // Show (which opens the dialog) has come back.
    static void WithModal(const std::function<void(QWidget* Modal)>& Action, const std::function<void()>& Show)
    {
        bool acted = false;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (QWidget* modal = QApplication::activeModalWidget(); modal && !acted) {
                acted = true;
                Action(modal);
            }
        });
        poll.start();
        Show();
        poll.stop();
        ASSERT_TRUE(acted) << "no modal dialog came up";
    }

    QTemporaryDir FFolder;
    QString FIniPath;
    std::vector<TRecordedBox> FBoxes;
    std::function<void()> FDuringBox;  // runs while a recorded box "is open"
};

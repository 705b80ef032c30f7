// A shown form to hold buttons, with helpers to read the desktop colours and
// the painted pixels.
#pragma once

#include "FR_Ctrls.h"

#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

class ButtonFixture : public ::testing::Test {
protected:
    void SetUp() override {
        Form = std::make_unique<QWidget>();
        Form->resize(400, 240);
        QFont F = Form->font();
        F.setStyleStrategy(QFont::NoAntialias);  // exact colours for pixel checks
        F.setPixelSize(13);
        Form->setFont(F);
    }
    void TearDown() override { Form.reset(); }

    // Owned by the form (Qt parent ownership).
    TfrSpeedButton* Make(int X, int Y, int W = 60, int H = 24) {
        auto* B = new TfrSpeedButton(Form.get());
        B->setGeometry(X, Y, W, H);
        return B;
    }

    void Show() {
        Form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    }

    static QImage Grab(QWidget* W) { return W->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    // As 8-bit RGB, the precision of the painted pixels.
    QColor Sys(QPalette::ColorRole Role) const { return QColor(Form->palette().color(QPalette::Active, Role).rgb()); }
    QColor Face() const { return Sys(QPalette::Button); }
    QColor Highlight() const { return Sys(QPalette::Light); }
    QColor Shadow() const { return Sys(QPalette::Dark); }
    QColor DkShadow() const { return Sys(QPalette::Shadow); }

    static QColor At(const QImage& I, int X, int Y) { return QColor(I.pixel(X, Y)); }

    std::unique_ptr<QWidget> Form;
};

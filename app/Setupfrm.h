// TfrmSetup: the modal settings dialog for the milliseconds per pixel of the
// waveform strip. Made by the main window when needed and freed after use.
// GUI thread only.
#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;
class TUpdownEdit;

class TfrmSetup : public QDialog {
public:
    explicit TfrmSetup(QWidget* Owner);

    QGroupBox* GroupBox1;
    QLabel* Label1;
    TUpdownEdit* UpdownEdit1;
    QPushButton* btnConfirm;
    QPushButton* btnCancel;
};

#include "Setupfrm.h"

#include "Fonts.h"
#include "Ini.h"
#include "UpdownEdit.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

TfrmSetup::TfrmSetup(QWidget* Owner)
    : QDialog(Owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      GroupBox1(new QGroupBox(QStringLiteral("像数毫秒数"), this)),
      Label1(new QLabel(QStringLiteral("像素毫秒数："), GroupBox1)),
      UpdownEdit1(new TUpdownEdit(GroupBox1)),
      btnConfirm(new QPushButton(QStringLiteral("确定"), this)),
      btnCancel(new QPushButton(QStringLiteral("取消"), this))
{
    setObjectName(QStringLiteral("frmSetup"));
    setWindowTitle(QStringLiteral("设置"));
    setFont(SimSunFont(19));
    setFixedSize(296, 170);
    move(462, 287);

    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(16, 16, 265, 89);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(16, 40);
    Label1->adjustSize();

    UpdownEdit1->setObjectName(QStringLiteral("UpdownEdit1"));
    UpdownEdit1->setGeometry(128, 40, 121, 25);
    UpdownEdit1->SetFont(font());
    UpdownEdit1->SetMin(static_cast<std::int16_t>(kMinMiliSecondsPerPixel));
    UpdownEdit1->SetMax(static_cast<std::int16_t>(kMaxMiliSecondsPerPixel));
    UpdownEdit1->SetPosition(kDefaultMiliSecondsPerPixel);
    UpdownEdit1->SetIncrement(10);
    UpdownEdit1->SetText(QStringLiteral("50"));

    btnConfirm->setObjectName(QStringLiteral("btnConfirm"));
    btnConfirm->setGeometry(128, 128, 75, 25);
    btnConfirm->setDefault(true);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(203, 128, 75, 25);
    // Esc rejects through QDialog itself.
    connect(btnConfirm, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    UpdownEdit1->setFocus();
}

#include "windows/logindlg.h"

#include "controls/dialogbuttons.h"
#include "controls/messagebox.h"
#include "core/data/datamodule.h"
#include "core/data/users.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace bankprep {

TPasswordDlg::TPasswordDlg(TDataModule2& dm, QWidget* parent) : QDialog(parent), m_dm(dm)
{
    setupFixedDialog(this, QStringLiteral("PasswordDlg"), QStringLiteral("用户登陆"), true);
    setFixedSize(254, 137);

    Label2 = new QLabel(QStringLiteral("用户编号"), this);
    Label2->setGeometry(16, 8, 60, 16);
    Label2->hide();
    UserId = new QLineEdit(QStringLiteral("1"), this);
    UserId->setObjectName(QStringLiteral("UserId"));
    UserId->setGeometry(80, 6, 150, 21);
    UserId->hide();

    Label1 = new QLabel(QStringLiteral("请输入使用密码"), this);
    Label1->setGeometry(24, 24, 200, 16);
    Password = new QLineEdit(this);
    Password->setObjectName(QStringLiteral("Password"));
    Password->setEchoMode(QLineEdit::Password);
    Password->setGeometry(24, 44, 206, 23);

    const DialogButtons buttons =
        makeDialogButtons(this, QStringLiteral("确定"), QStringLiteral("放弃"),
                          QStringLiteral("BitBtn1"), QStringLiteral("BitBtn2"));
    BitBtn1 = buttons.ok;
    BitBtn1->setGeometry(40, 92, 80, 27);
    BitBtn2 = buttons.cancel;
    BitBtn2->setGeometry(136, 92, 80, 27);
    setTabOrder(Password, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    Password->setFocus();

    connect(BitBtn1, &QPushButton::clicked, this, &TPasswordDlg::OKBtnClick);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

void TPasswordDlg::OKBtnClick()
{
    bool found = false;
    if (!guarded(this, [&] { found = checkUserPassword(m_dm, UserId->text(), Password->text()); }))
        return;
    if (found) {
        Password->clear();
        accept();
        return;
    }
    MessageBox::critical(this, QStringLiteral("错误"), QStringLiteral("密码错误"));
    Password->clear();
    Password->setFocus();
}

} // namespace bankprep

#include "windows/chgpwd.h"

#include "controls/dialogbuttons.h"
#include "controls/messagebox.h"
#include "core/data/datamodule.h"
#include "core/data/users.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace bankprep {

TChgPwdDlg::TChgPwdDlg(TDataModule2& dm, QWidget* parent) : QDialog(parent), m_dm(dm)
{
    setupFixedDialog(this, QStringLiteral("ChgPwdDlg"), QStringLiteral("修改使用密码"), true);
    setFixedSize(237, 202);

    auto edit = [this](const QString& label, const char* name, int y) {
        auto* l = new QLabel(label, this);
        l->setGeometry(24, y, 190, 16);
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setEchoMode(QLineEdit::Password);
        e->setGeometry(24, y + 18, 190, 23);
        return e;
    };
    OldPwd = edit(QStringLiteral("旧密码"), "OldPwd", 8);
    NewPwd = edit(QStringLiteral("新密码"), "NewPwd", 54);
    PwdAgain = edit(QStringLiteral("重复新密码"), "PwdAgain", 100);

    const DialogButtons buttons =
        makeDialogButtons(this, QStringLiteral("确定"), QStringLiteral("放弃"),
                          QStringLiteral("BitBtn1"), QStringLiteral("BitBtn2"));
    BitBtn1 = buttons.ok;
    BitBtn1->setGeometry(32, 160, 80, 27);
    BitBtn2 = buttons.cancel;
    BitBtn2->setGeometry(128, 160, 80, 27);
    setTabOrder(OldPwd, NewPwd);
    setTabOrder(NewPwd, PwdAgain);
    setTabOrder(PwdAgain, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    connect(BitBtn1, &QPushButton::clicked, this, &TChgPwdDlg::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

void TChgPwdDlg::BitBtn1Click()
{
    bool found = false;
    if (!guarded(this,
                 [&] { found = checkUserPassword(m_dm, QStringLiteral("1"), OldPwd->text()); }))
        return;
    if (!found) {
        MessageBox::critical(this, QStringLiteral("错误"), QStringLiteral("旧密码错误"));
        OldPwd->clear();
        OldPwd->setFocus();
        return;
    }
    if (NewPwd->text() != PwdAgain->text()) {
        MessageBox::critical(this, QStringLiteral("错误"),
                             QStringLiteral("两次输入的新密码不同，请检查输入。"));
        NewPwd->clear();
        PwdAgain->clear();
        NewPwd->setFocus();
        return;
    }
    if (guarded(this, [&] { storeUserPassword(m_dm, NewPwd->text()); }))
        accept();
}

} // namespace bankprep

#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace bankprep {

class TDataModule2;

// Changes the password of user "1".
class TChgPwdDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TChgPwdDlg(TDataModule2& dm, QWidget* parent = nullptr);

    QLineEdit* OldPwd;    // 旧密码
    QLineEdit* NewPwd;    // 新密码
    QLineEdit* PwdAgain;  // 重复新密码
    QPushButton* BitBtn1; // 确定: checks, then stores the new password
    QPushButton* BitBtn2; // 放弃

    void BitBtn1Click();

private:
    TDataModule2& m_dm;
};

} // namespace bankprep

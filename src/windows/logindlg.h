#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace bankprep {

class TDataModule2;

// The login window: the user number is hidden and preset to "1"; the clerk types only
// the password.
class TPasswordDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TPasswordDlg(TDataModule2& dm, QWidget* parent = nullptr);

    QLineEdit* UserId;    // 用户编号, hidden, preset to "1"
    QLabel* Label2;       // label of UserId, hidden
    QLabel* Label1;       // label 请输入使用密码
    QLineEdit* Password;  // the password typed
    QPushButton* BitBtn1; // 确定: checks the password
    QPushButton* BitBtn2; // 放弃: cancels the login, which ends the run

    void OKBtnClick();

private:
    TDataModule2& m_dm;
};

} // namespace bankprep

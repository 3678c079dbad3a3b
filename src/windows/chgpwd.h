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

    QLineEdit* OldPwd;
    QLineEdit* NewPwd;
    QLineEdit* PwdAgain;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    void BitBtn1Click();

private:
    TDataModule2& m_dm;
};

} // namespace bankprep

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

    QLineEdit* UserId;
    QLabel* Label2;
    QLabel* Label1;
    QLineEdit* Password;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    void OKBtnClick();

private:
    TDataModule2& m_dm;
};

} // namespace bankprep

#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace bankprep {

class LookupCombo;
class TDataModule2;

// The payer-account choice before the payment export.
class TSelectPaymentDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TSelectPaymentDlg(TDataModule2& dm, QWidget* parent = nullptr);

    QLabel* Label2;                   // label 当前用户编号:
    QLabel* DBText1;                  // the current user's number
    QLabel* Label1;                   // label 请选择支付帐号
    LookupCombo* DBLookupComboDrawee; // the current user's payer accounts
    QPushButton* BitBtn1;             // 确定: checks a payer account is chosen
    QPushButton* BitBtn2;             // 取消

    // Fills the list with the current user's payer accounts, keeping the last choice.
    void refresh();
    QString payerAccount() const;
    void BitBtn1Click();
    void reject() override;

private:
    TDataModule2& m_dm;
};

// The rows-per-file question before the payroll export.
class TSplitSalaryDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TSplitSalaryDlg(QWidget* parent = nullptr);

    QLabel* Label1;        // label 工资文件总记录数：
    QLabel* recCount;      // the number of payroll lines
    QLabel* Label2;        // label 每文件记录数：
    QLineEdit* recPerFile; // lines per file
    QPushButton* BitBtn1;  // &Yes: checks the number typed
    QPushButton* BitBtn2;  // 取消

    void BitBtn1Click();
    void reject() override;
};

} // namespace bankprep

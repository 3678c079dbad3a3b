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

    QLabel* Label2;
    QLabel* DBText1;
    QLabel* Label1;
    LookupCombo* DBLookupComboDrawee;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

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

    QLabel* Label1;
    QLabel* recCount;
    QLabel* Label2;
    QLineEdit* recPerFile;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    void BitBtn1Click();
    void reject() override;
};

} // namespace bankprep

#pragma once

#include <QObject>
#include <QString>

class QFileDialog;
class QWidget;

namespace bankprep {

class TDataModule2;
class TSelectPaymentDlg;
class TSplitSalaryDlg;

// The export command of the main window: the payment, payroll and payee-book files,
// through the dialogs kept for the whole run. Errors reach the default error display;
// a failed export replaces no file.
class ExportCommand : public QObject
{
    Q_OBJECT
public:
    ExportCommand(TDataModule2& dm, QWidget* window, TSelectPaymentDlg* selectPayment,
                  TSplitSalaryDlg* splitSalary);

    void exportPayments();
    void exportSalary();
    void exportPayees();

    QFileDialog* SaveDialog; // the save dialog of the three exports

private:
    // Shows the save dialog; empty when cancelled.
    QString askFileName(const QString& title);

    TDataModule2& m_dm;
    QWidget* m_window;
    TSelectPaymentDlg* m_selectPayment;
    TSplitSalaryDlg* m_splitSalary;
};

} // namespace bankprep

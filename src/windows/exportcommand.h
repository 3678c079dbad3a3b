#pragma once

#include "core/export/exportjournal.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

namespace bankprep {

class TDataModule2;
class TSelectPaymentDlg;
class TSplitSalaryDlg;

// The export command of the main window: the payment, payroll and payee-book files,
// through the dialogs kept for the whole run. Errors reach the default error display;
// a failed export replaces no file. Every file written is read back and recorded in the
// export journal.
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
    // The last word before writing: the duplicates window, or the question with count
    // and total in figures and capitals (and the card numbers to check).
    bool confirm(const BankExport& e, const BankExport::Duplicates& duplicates,
                 const QStringList& cardWarnings);
    // Writes, reads back and records the files; tells the clerk.
    void write(BankExport& e);

    TDataModule2& m_dm;
    QWidget* m_window;
    TSelectPaymentDlg* m_selectPayment;
    TSplitSalaryDlg* m_splitSalary;
};

} // namespace bankprep

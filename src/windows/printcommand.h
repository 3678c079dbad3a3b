#pragma once

#include <QObject>

class QAction;
class QFileDialog;
class QPrintPreviewDialog;
class QWidget;

namespace bankprep {

class TDataModule2;
class TSelectPaymentDlg;
struct PrintReport;

// 文件 → 打印支付清单 / 打印工资表: the current list as a report for signature, shown in
// a print preview from which it goes to a printer or is saved as a PDF.
class PrintCommand : public QObject
{
    Q_OBJECT
public:
    PrintCommand(TDataModule2& dm, QWidget* window, TSelectPaymentDlg* selectPayment);

    // The payment instructions an export would write, for the payer account chosen in
    // the export's own dialog.
    void printPayments();
    void printSalary();

    // The print preview of a report, with 保存为PDF… in its tool bar.
    void preview(const PrintReport& report);

    QFileDialog* PdfDialog; // where 保存为PDF… asks for the file

private:
    void savePdf(const PrintReport& report, QWidget* parent);

    TDataModule2& m_dm;
    QWidget* m_window;
    TSelectPaymentDlg* m_selectPayment;
};

} // namespace bankprep

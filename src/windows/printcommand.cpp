#include "windows/printcommand.h"

#include "controls/filedialog.h"
#include "controls/messagebox.h"
#include "core/data/datamodule.h"
#include "core/data/dberror.h"
#include "core/export/printreport.h"
#include "print/reportpainter.h"
#include "windows/exportdialogs.h"

#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QToolBar>

#include <optional>

namespace bankprep {

PrintCommand::PrintCommand(TDataModule2& dm, QWidget* window, TSelectPaymentDlg* selectPayment)
    : QObject(window), m_dm(dm), m_window(window), m_selectPayment(selectPayment)
{
    PdfDialog = createFileDialog(window, QStringLiteral("PdfDialog"));
    PdfDialog->setAcceptMode(QFileDialog::AcceptSave);
    PdfDialog->setFileMode(QFileDialog::AnyFile);
    PdfDialog->setNameFilters({QStringLiteral("PDF 文件(*.pdf)")});
    PdfDialog->setDefaultSuffix(QStringLiteral("pdf"));
    PdfDialog->setWindowTitle(QStringLiteral("保存为PDF"));
}

void PrintCommand::printPayments()
{
    m_selectPayment->refresh();
    if (Modal::exec(m_selectPayment) != 1)
        return;
    std::optional<PrintReport> report;
    if (guarded(m_window, [&] {
            report = paymentReport(*m_dm.ATPayment, m_selectPayment->payerAccount(),
                                   QDate::currentDate());
        }))
        preview(*report);
}

void PrintCommand::printSalary()
{
    std::optional<PrintReport> report;
    if (guarded(m_window, [&] { report = salaryReport(*m_dm.ATSalary, QDate::currentDate()); }))
        preview(*report);
}

void PrintCommand::preview(const PrintReport& report)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(reportPageLayout(report));
    printer.setDocName(report.title);
    QPrintPreviewDialog dlg(&printer, m_window);
    dlg.setObjectName(QStringLiteral("PrintPreview"));
    dlg.setWindowTitle(QStringLiteral("打印预览 - %1").arg(report.title));
    dlg.resize(900, 680);
    QString failure;
    connect(&dlg, &QPrintPreviewDialog::paintRequested, &dlg, [&](QPrinter* p) {
        // A signal must not carry an exception out of Qt: the failure is shown after.
        try {
            paintReport(report, *p);
        } catch (const DbError& e) {
            failure = e.message();
        }
    });
    if (auto* bar = dlg.findChild<QToolBar*>()) {
        bar->addSeparator();
        QAction* save = bar->addAction(QStringLiteral("保存为PDF…"));
        save->setObjectName(QStringLiteral("SavePdfAction"));
        save->setToolTip(QStringLiteral("把报表保存为 PDF 文件"));
        connect(save, &QAction::triggered, &dlg, [&] { savePdf(report, &dlg); });
    }
    Modal::exec(&dlg);
    if (!failure.isEmpty())
        MessageBox::error(m_window, failure);
}

void PrintCommand::savePdf(const PrintReport& report, QWidget* parent)
{
    if (Modal::exec(PdfDialog) != QDialog::Accepted || PdfDialog->selectedFiles().isEmpty())
        return;
    const QString path = PdfDialog->selectedFiles().first();
    guarded(parent, [&] {
        writeReportPdf(report, path);
        MessageBox::information(
            parent, QStringLiteral("保存为PDF"),
            QStringLiteral("已将%1保存为“%2”：%3。")
                .arg(report.title, QDir::toNativeSeparators(path), report.totalText()));
    });
}

} // namespace bankprep

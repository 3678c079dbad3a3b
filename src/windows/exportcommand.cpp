#include "windows/exportcommand.h"

#include "controls/filedialog.h"
#include "controls/messagebox.h"
#include "core/data/datamodule.h"
#include "core/export/bankfiles.h"
#include "core/export/exportjournal.h"
#include "core/import/salaryimport.h"
#include "windows/exportdialogs.h"
#include "windows/safetywindows.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>

namespace bankprep {

ExportCommand::ExportCommand(TDataModule2& dm, QWidget* window, TSelectPaymentDlg* selectPayment,
                             TSplitSalaryDlg* splitSalary)
    : QObject(window), m_dm(dm), m_window(window), m_selectPayment(selectPayment),
      m_splitSalary(splitSalary)
{
    SaveDialog = createFileDialog(window, QStringLiteral("SaveDialog"));
    SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog->setFileMode(QFileDialog::AnyFile);
    SaveDialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    SaveDialog->setNameFilters({QStringLiteral("网上银行预处理数据文件(*.txt)"),
                                QStringLiteral("网上银行预处理数据文件(*.csv)")});
    SaveDialog->setDefaultSuffix(QStringLiteral("txt"));
}

QString ExportCommand::askFileName(const QString& title)
{
    SaveDialog->setWindowTitle(title);
    if (Modal::exec(SaveDialog) != QDialog::Accepted)
        return QString();
    const QStringList files = SaveDialog->selectedFiles();
    QString name = files.isEmpty() ? QString() : files.first();
    // The name chosen last time is proposed next time, in any of the exports.
    if (!name.isEmpty())
        SaveDialog->selectFile(name);
    return name;
}

bool ExportCommand::confirm(const BankExport& e, const BankExport::Duplicates& duplicates,
                            const QStringList& cardWarnings)
{
    if (duplicates.count > 0) {
        TDuplicateDlg dlg(duplicates, exportSummary(e), m_window);
        return Modal::exec(&dlg) == QDialog::Accepted;
    }
    QString text = QStringLiteral("即将导出%1").arg(exportSummary(e));
    if (e.files() > 1)
        text += QStringLiteral("，分为%1个文件").arg(e.files());
    text += QStringLiteral("。");
    if (!cardWarnings.isEmpty())
        text += QStringLiteral("\n\n") + cardWarningHeading() + QStringLiteral("\n") +
                cardWarnings.join(QLatin1Char('\n'));
    text += QStringLiteral("\n\n是否导出？");
    return MessageBox::question(m_window, QStringLiteral("确认导出"), text,
                                QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::Yes) == QMessageBox::Yes;
}

void ExportCommand::write(BankExport& e)
{
    e.write(m_dm.ADOConn, m_dm.CurrentUser);
    MessageBox::information(m_window, QStringLiteral("导出"), exportedMessage(e));
}

void ExportCommand::exportPayments()
{
    m_selectPayment->refresh();
    if (Modal::exec(m_selectPayment) != 1)
        return;
    const QString name = askFileName(QStringLiteral("保存支付指令文件"));
    if (name.isEmpty())
        return;
    guarded(m_window, [&] {
        const QString payer = m_selectPayment->payerAccount();
        BankExport e(ExportKind::Payments, {name}, {buildPaymentFile(*m_dm.ATPayment, payer)},
                     payer);
        if (confirm(e, e.duplicates(m_dm.ADOConn), {}))
            write(e);
    });
}

void ExportCommand::exportSalary()
{
    Table& salary = *m_dm.ATSalary;
    if (!guarded(m_window, [&] { salary.checkBrowseMode(); }))
        return;
    const int count = salary.recordCount();
    int rowsPerFile = 0;
    if (count > 1) {
        m_splitSalary->recCount->setText(QString::number(count));
        if (Modal::exec(m_splitSalary) != 1)
            return;
        rowsPerFile = m_splitSalary->recPerFile->text().trimmed().toInt();
    }
    const QString name = askFileName(QStringLiteral("保存工资文件"));
    if (name.isEmpty())
        return;
    guarded(m_window, [&] {
        const QList<QByteArray> files = buildSalaryFiles(salary, rowsPerFile);
        const QStringList names =
            files.size() > 1 ? pieceNames(name, int(files.size())) : QStringList{name};
        BankExport e(ExportKind::Salary, names, files);
        if (confirm(e, {}, cardNumberWarnings(salary)))
            write(e);
    });
}

void ExportCommand::exportPayees()
{
    const QString name = askFileName(QStringLiteral("保存往来账号文件"));
    if (name.isEmpty())
        return;
    guarded(m_window, [&] {
        BankExport e(ExportKind::Payees, {name}, {buildPayeeFile(*m_dm.ATCompany)});
        write(e);
    });
}

} // namespace bankprep

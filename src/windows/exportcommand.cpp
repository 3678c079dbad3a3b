#include "windows/exportcommand.h"

#include "controls/filedialog.h"
#include "controls/messagebox.h"
#include "core/data/datamodule.h"
#include "core/export/bankfiles.h"
#include "windows/exportdialogs.h"

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

void ExportCommand::exportPayments()
{
    m_selectPayment->refresh();
    if (Modal::exec(m_selectPayment) != 1)
        return;
    const QString name = askFileName(QStringLiteral("保存支付指令文件"));
    if (name.isEmpty())
        return;
    guarded(m_window, [&] {
        const QByteArray file = buildPaymentFile(*m_dm.ATPayment, m_selectPayment->payerAccount());
        writeFilesAtomically({name}, {file});
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
        writeFilesAtomically(names, files);
    });
}

void ExportCommand::exportPayees()
{
    const QString name = askFileName(QStringLiteral("保存往来账号文件"));
    if (name.isEmpty())
        return;
    guarded(m_window, [&] { writeFilesAtomically({name}, {buildPayeeFile(*m_dm.ATCompany)}); });
}

} // namespace bankprep

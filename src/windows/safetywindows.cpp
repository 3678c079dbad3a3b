#include "windows/safetywindows.h"

#include "controls/dialogbuttons.h"
#include "controls/messagebox.h"
#include "core/data/backup.h"
#include "core/data/datamodule.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace bankprep {

namespace {

QTableWidget* makeList(QWidget* parent, const QString& name, const QStringList& titles)
{
    auto* t = new QTableWidget(0, int(titles.size()), parent);
    t->setObjectName(name);
    t->setHorizontalHeaderLabels(titles);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void setRow(QTableWidget* t, int row, const QStringList& cells, int firstNumber = -1,
            int lastNumber = -1)
{
    for (int c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(cells.at(c));
        if (c >= firstNumber && c <= lastNumber)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        t->setItem(row, c, item);
    }
}

QPushButton* button(QWidget* parent, const QString& text, const QString& name)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

QHBoxLayout* row(std::initializer_list<QWidget*> left, QWidget* right)
{
    auto* h = new QHBoxLayout;
    for (QWidget* w : left)
        h->addWidget(w);
    h->addStretch();
    h->addWidget(right);
    return h;
}

} // namespace

TRestoreBackupDlg::TRestoreBackupDlg(TDataModule2& dm, QWidget* parent) : QDialog(parent), m_dm(dm)
{
    setObjectName(QStringLiteral("RestoreBackupDlg"));
    setWindowTitle(QStringLiteral("恢复备份"));
    BackupList =
        makeList(this, QStringLiteral("BackupList"),
                 {QStringLiteral("时间"), QStringLiteral("原因"), QStringLiteral("支付指令"),
                  QStringLiteral("往来帐户"), QStringLiteral("工资")});
    BtnBackup = button(this, QStringLiteral("立即备份"), QStringLiteral("BtnBackup"));
    BtnRestore = button(this, QStringLiteral("恢复"), QStringLiteral("BtnRestore"));
    BtnClose = button(this, QStringLiteral("关闭"), QStringLiteral("BtnClose"));
    auto* note =
        new QLabel(QStringLiteral("每天第一次启动、每次导入、清空和删除账户分类前都会自动备份。"
                                  "恢复前会先备份当前数据。"),
                   this);
    note->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addWidget(BackupList);
    layout->addLayout(row({BtnBackup, BtnRestore}, BtnClose));
    connect(BtnBackup, &QPushButton::clicked, this, &TRestoreBackupDlg::backupNow);
    connect(BtnRestore, &QPushButton::clicked, this, &TRestoreBackupDlg::restoreSelected);
    connect(BtnClose, &QPushButton::clicked, this, &QDialog::reject);
    resize(620, 380);
}

void TRestoreBackupDlg::refresh()
{
    const QList<BackupInfo> all = listBackups(m_dm.databasePath());
    BackupList->setRowCount(int(all.size()));
    m_paths.clear();
    for (int r = 0; r < all.size(); ++r) {
        const BackupInfo& b = all.at(r);
        m_paths << b.path;
        setRow(BackupList, r,
               {shownTime(b.time), b.reasonText(), QString::number(b.payments),
                QString::number(b.payees), QString::number(b.salary)},
               2, 4);
    }
    BackupList->resizeColumnsToContents();
    if (!all.isEmpty())
        BackupList->selectRow(0);
    BtnRestore->setEnabled(!all.isEmpty());
}

void TRestoreBackupDlg::backupNow()
{
    guarded(this, [this] {
        const BackupInfo b = takeBackup(m_dm.ADOConn, BackupReason::Manual);
        refresh();
        MessageBox::information(
            this, QStringLiteral("备份"),
            QStringLiteral("已备份到“%1”。").arg(QDir::toNativeSeparators(b.path)));
    });
}

void TRestoreBackupDlg::restoreSelected()
{
    const int r = BackupList->currentRow();
    if (r < 0 || r >= m_paths.size())
        return;
    const QString when = BackupList->item(r, 0)->text();
    const QString why = BackupList->item(r, 1)->text();
    if (MessageBox::question(
            this, QStringLiteral("恢复备份"),
            QStringLiteral("将用%1的备份（%2）替换当前的全部数据：支付指令、往来帐户、"
                           "工资表、付款帐号、用户等。当前数据会先备份。\n\n是否恢复？")
                .arg(when, why),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    const QString path = m_paths.at(r);
    if (!guarded(this, [&] { m_dm.restoreFromBackup(path); }))
        return;
    refresh();
    emit restored();
    MessageBox::information(this, QStringLiteral("恢复备份"),
                            QStringLiteral("已恢复%1的备份，恢复前的数据已另行备份。").arg(when));
}

TExportLogDlg::TExportLogDlg(TDataModule2& dm, QWidget* parent) : QDialog(parent), m_dm(dm)
{
    setObjectName(QStringLiteral("ExportLogDlg"));
    setWindowTitle(QStringLiteral("导出记录"));
    LogList = makeList(this, QStringLiteral("LogList"),
                       {QStringLiteral("时间"), QStringLiteral("类型"), QStringLiteral("笔数"),
                        QStringLiteral("合计金额"), QStringLiteral("支付帐号"),
                        QStringLiteral("文件"), QStringLiteral("SHA-256")});
    BtnVerify = button(this, QStringLiteral("校验文件"), QStringLiteral("BtnVerify"));
    BtnClose = button(this, QStringLiteral("关闭"), QStringLiteral("BtnClose"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LogList);
    layout->addLayout(row({BtnVerify}, BtnClose));
    connect(BtnVerify, &QPushButton::clicked, this, &TExportLogDlg::verifySelected);
    connect(BtnClose, &QPushButton::clicked, this, &QDialog::reject);
    resize(760, 380);
}

void TExportLogDlg::refresh()
{
    guarded(this, [this] { m_entries = exportJournal(m_dm.ADOConn); });
    LogList->setRowCount(int(m_entries.size()));
    for (int r = 0; r < m_entries.size(); ++r) {
        const JournalEntry& e = m_entries.at(r);
        setRow(LogList, r,
               {shownTime(e.time), exportKindText(e.kind), QString::number(e.lines),
                e.kind == ExportKind::Payees ? QString() : e.total.toDisplayString(), e.payer,
                e.path, QString::fromLatin1(e.sha256.left(16)) + QStringLiteral("…")},
               2, 3);
        LogList->item(r, 6)->setToolTip(QString::fromLatin1(e.sha256));
    }
    LogList->resizeColumnsToContents();
    if (!m_entries.isEmpty())
        LogList->selectRow(0);
    BtnVerify->setEnabled(!m_entries.isEmpty());
}

void TExportLogDlg::verifySelected()
{
    const int r = LogList->currentRow();
    if (r < 0 || r >= m_entries.size())
        return;
    const QString path = m_entries.at(r).path;
    try {
        const JournalEntry e = verifyExportedFile(m_dm.ADOConn, path);
        MessageBox::information(this, QStringLiteral("校验文件"), verifiedMessage(path, e));
    } catch (const DbError& e) {
        MessageBox::warning(this, QStringLiteral("校验文件"), e.message());
    }
}

TDuplicateDlg::TDuplicateDlg(const BankExport::Duplicates& found, const QString& summary,
                             QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("DuplicateDlg"));
    setWindowTitle(QStringLiteral("可能重复的支付指令"));
    auto* heading = new QLabel(
        QStringLiteral("以下%1笔支付指令的收款帐号和金额与本批另一笔相同，或在10天内已导出过。"
                       "请核对，避免重复付款。")
            .arg(found.count),
        this);
    heading->setWordWrap(true);
    Summary = new QLabel(QStringLiteral("本次导出：") + summary, this);
    Summary->setObjectName(QStringLiteral("Summary"));
    Summary->setWordWrap(true);
    List = makeList(this, QStringLiteral("List"),
                    {QStringLiteral("笔"), QStringLiteral("收款帐号"), QStringLiteral("收款单位"),
                     QStringLiteral("金额"), QStringLiteral("说明")});
    // A long list is shown in part (the first thousand); the count above is the whole.
    const int shown = int(found.listed.size());
    List->setRowCount(shown);
    for (int r = 0; r < shown; ++r) {
        const DuplicatePayment& d = found.listed.at(r);
        setRow(List, r,
               {QString::number(d.line), d.account, d.payee, d.amount.toDisplayString(), d.reason},
               3, 3);
    }
    List->resizeColumnsToContents();
    const DialogButtons b = makeDialogButtons(this, QStringLiteral("仍然导出"),
                                              QStringLiteral("取消"), QStringLiteral("BtnExport"),
                                              QStringLiteral("BtnCancel"), DefaultButton::None);
    BtnExport = b.ok;
    BtnCancel = b.cancel;
    connect(BtnExport, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(Summary);
    layout->addWidget(List);
    layout->addLayout(buttonRow(b));
    BtnCancel->setFocus();
    resize(720, 360);
}

TUndoImportDlg::TUndoImportDlg(TDataModule2& dm, QWidget* parent) : QDialog(parent), m_dm(dm)
{
    setObjectName(QStringLiteral("UndoImportDlg"));
    setWindowTitle(QStringLiteral("撤销上次导入"));
    Summary = new QLabel(this);
    Summary->setObjectName(QStringLiteral("Summary"));
    Summary->setWordWrap(true);
    ChangedList = makeList(this, QStringLiteral("ChangedList"), {});
    BtnUndo = button(this, QStringLiteral("撤销导入"), QStringLiteral("BtnUndo"));
    BtnKeepChanged =
        button(this, QStringLiteral("保留修改过的记录"), QStringLiteral("BtnKeepChanged"));
    BtnCancel = button(this, QStringLiteral("取消"), QStringLiteral("BtnCancel"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Summary);
    layout->addWidget(ChangedList, 1);
    layout->addLayout(row({BtnUndo, BtnKeepChanged}, BtnCancel));
    connect(BtnUndo, &QPushButton::clicked, this, [this] { undo(true); });
    connect(BtnKeepChanged, &QPushButton::clicked, this, [this] { undo(false); });
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(760, 420);
}

bool TUndoImportDlg::prepare()
{
    std::optional<ImportBatch> last;
    if (!guarded(this, [&] { last = lastUndoableBatch(m_dm.ADOConn, m_dm.CurrentUser); }))
        return false;
    if (!last) {
        MessageBox::notice(parentWidget(), QStringLiteral("没有可以撤销的导入。"));
        return false;
    }
    if (!guarded(this, [&] { m_plan = planUndo(m_dm.ADOConn, last->id); }))
        return false;
    QString text = QStringLiteral("上次导入：%1\n文件：%2\n")
                       .arg(batchDescription(m_plan.batch), m_plan.batch.file);
    text += QStringLiteral("撤销将删除仍与导入时相同的%1条记录。").arg(m_plan.unchanged);
    if (m_plan.missing > 0)
        text += QStringLiteral("另有%1条已不在数据库中。").arg(m_plan.missing);
    const bool changed = !m_plan.changedKeys.empty();
    if (changed) {
        text += QStringLiteral("\n其中%1条记录在导入后被修改过（见下表，为现在的内容）：请选择一并"
                               "删除，或保留它们。")
                    .arg(m_plan.changedKeys.size());
    }
    Summary->setText(text);
    ChangedList->clear();
    ChangedList->setColumnCount(int(m_plan.headings.size()));
    ChangedList->setHorizontalHeaderLabels(m_plan.headings);
    ChangedList->setRowCount(int(m_plan.changed.size()));
    for (size_t r = 0; r < m_plan.changed.size(); ++r)
        setRow(ChangedList, int(r), m_plan.changed[r].values);
    ChangedList->resizeColumnsToContents();
    ChangedList->setVisible(changed);
    BtnUndo->setText(changed ? QStringLiteral("全部删除") : QStringLiteral("撤销导入"));
    BtnKeepChanged->setVisible(changed);
    BtnCancel->setFocus();
    return true;
}

void TUndoImportDlg::undo(bool removeChanged)
{
    UndoResult result;
    const bool done = guarded(this, [&] { result = undoImport(m_dm, m_plan, removeChanged); });
    if (!done) {
        reject(); // the plan is stale or the clerk stopped: nothing was removed
        return;
    }
    MessageBox::information(this, QStringLiteral("撤销导入"), undoneMessage(result));
    accept();
}

} // namespace bankprep

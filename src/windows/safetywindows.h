#pragma once

#include "core/export/exportjournal.h"
#include "core/import/importbatch.h"

#include <QDialog>
#include <QList>

class QLabel;
class QPushButton;
class QTableWidget;

namespace bankprep {

class TDataModule2;

// 文件 → 恢复备份…: the backups beside the database (time, reason, row counts) and the
// restore of one, after a backup of the current state.
class TRestoreBackupDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TRestoreBackupDlg(TDataModule2& dm, QWidget* parent = nullptr);

    QTableWidget* BackupList; // newest first: 时间, 原因, 支付指令, 往来帐户, 工资
    QPushButton* BtnBackup;   // 立即备份
    QPushButton* BtnRestore;  // 恢复: the selected backup, after a question
    QPushButton* BtnClose;    // 关闭

    Q_INVOKABLE void refresh(); // reads the backups folder again
    void restoreSelected();
    void backupNow();

signals:
    void restored(); // the whole database was replaced

private:
    TDataModule2& m_dm;
    QStringList m_paths;
};

// 文件 → 导出记录: every bank file written, and the check of one against its record.
class TExportLogDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TExportLogDlg(TDataModule2& dm, QWidget* parent = nullptr);

    QTableWidget* LogList; // newest first: 时间, 类型, 笔数, 合计金额, 支付帐号, 文件, SHA-256
    QPushButton* BtnVerify; // 校验文件: the selected entry's file against the record
    QPushButton* BtnClose;  // 关闭

    Q_INVOKABLE void refresh();
    void verifySelected();

private:
    TDataModule2& m_dm;
    QList<JournalEntry> m_entries;
};

// Before a payment export with instructions that may be paid twice: the list, and the
// clerk's choice to export anyway (accepted) or not.
class TDuplicateDlg : public QDialog
{
    Q_OBJECT
public:
    TDuplicateDlg(const BankExport::Duplicates& found, const QString& summary,
                  QWidget* parent = nullptr);

    QLabel* Summary;        // count and total, in figures and capitals
    QTableWidget* List;     // 笔, 收款帐号, 收款单位, 金额, 说明
    QPushButton* BtnExport; // 仍然导出
    QPushButton* BtnCancel; // 取消
};

// 文件 → 撤销上次导入: the logged-in user's last import, the rows changed since it (kept
// or removed as the clerk chooses), and its undo after a backup.
class TUndoImportDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TUndoImportDlg(TDataModule2& dm, QWidget* parent = nullptr);

    QLabel* Summary;
    QTableWidget* ChangedList;   // the rows changed since the import, as they are now
    QPushButton* BtnUndo;        // 撤销导入 (with changed rows: 全部删除)
    QPushButton* BtnKeepChanged; // 保留修改过的记录 (only with changed rows)
    QPushButton* BtnCancel;      // 取消

    // Plans the undo of the last import; false, after telling the clerk, when there is
    // nothing to undo.
    bool prepare();
    void undo(bool removeChanged);

private:
    TDataModule2& m_dm;
    UndoPlan m_plan;
};

} // namespace bankprep

#pragma once

#include "core/data/backup.h"
#include "core/data/connection.h"
#include "core/data/interaction.h"
#include "core/data/table.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

namespace bankprep {

// Binds views to a table object; several views of one data source share its current
// row, filter and sort.
class DataSource : public QObject
{
    Q_OBJECT
public:
    DataSource(Table* table, const QString& name, QObject* parent = nullptr)
        : QObject(parent), m_table(table)
    {
        setObjectName(name);
    }
    Table* dataSet() const { return m_table; }

private:
    Table* m_table;
};

// The data module: the one owner of the connection and of one table object per table.
// Windows bind to its data sources and never open a connection of their own.
class TDataModule2 : public QObject
{
    Q_OBJECT
public:
    explicit TDataModule2(QObject* parent = nullptr);
    ~TDataModule2() override;

    // Connects to the database file (created with the schema on first use), opens the
    // seven tables in order and sets the not-logged-in filters. Throws DbError with a
    // Chinese message naming the file and the reason. A job that needs only some tables
    // (the command-line tool) names them in `only`: the others stay closed and unread,
    // and an older database is brought up to date all the same.
    void create(const QString& databasePath = QStringLiteral("data.db"),
                bool createIfMissing = true, const QStringList& only = {});
    // Opens more of the tables (after a create() with `only`), in the same order and
    // with the same messages. Throws DbError.
    void openTables(const QStringList& names);

    Connection ADOConn;
    std::unique_ptr<Table> ATPayment;
    std::unique_ptr<Table> ATCompany;
    std::unique_ptr<Table> ATSalary;
    std::unique_ptr<Table> ATDrawee;
    std::unique_ptr<Table> ATUser;
    std::unique_ptr<Table> ATCompanyType;
    std::unique_ptr<Table> ATUse;
    DataSource* DataSource1 = nullptr;
    DataSource* DSCompany = nullptr;
    DataSource* DSSalary = nullptr;
    DataSource* DSDrawee = nullptr;
    DataSource* DSCompanyType = nullptr;
    DataSource* DSUse = nullptr;
    std::unique_ptr<Command> ACmd;

    QString CurrentUser; // "0" until login
    QString LastUse;     // the purpose of the last stored payment instruction

    // Who answers the rules' questions, and the detail window's buttons (both may be
    // null: questions are then answered No, pickers cancelled).
    void setInteraction(RuleInteraction* interaction) { m_interaction = interaction; }
    void setPaymentButtons(PaymentButtons* buttons) { m_paymentButtons = buttons; }

    // Table event handlers: the record rules.
    void ATPaymentBeforeOpen(Table& table);
    void ATPaymentNewRecord(Table& table);
    void ATPaymentBeforePost(Table& table);
    void ATPaymentAfterPost(Table& table);
    void ATPaymentAfterScroll(Table& table);
    void ATDraweeBeforePost(Table& table);
    void ATCompanyTypeBeforeDelete(Table& table);
    void ATCompanyTypeBeforePost(Table& table);
    Table::PostErrorAction ATCompanyTypePostError(Table& table, const DbError& error);
    void DataModuleCreate();

    // Name of the classification with the given key text, cut to what the payee book's
    // column shows (10 bytes of GBK); empty when there is none.
    QString companyTypeName(const QString& typeId) const;

    // Every classification as stored (key text and name), in the Chinese order the grids
    // sort by: the payee picker's list. Throws DbError.
    struct CompanyTypeEntry
    {
        QString id;
        QString name;
    };
    QList<CompanyTypeEntry> companyTypeList();

    // The clear commands (文件 → 新建): every payment instruction, or payroll line, of
    // the logged-in user is deleted; a row still being typed in that list goes with them
    // and the table is read afresh. Other users' rows stay. Throws DbError.
    void clearPayments();
    void clearSalary();

    // A backup before a command that removes or rewrites many rows (the clear commands,
    // deleting a classification, every import), then the old ones rotated. When it
    // cannot be taken the clerk is asked whether to go on without one (AbortError when
    // not); without anyone to ask (the command-line tool) the command is refused with
    // DbError.
    void backupBefore(BackupReason reason);
    // The same in two steps, for an import: the backup is begun (its state fixed) before
    // the import writes, copied meanwhile, and finished before the import commits. A
    // failure of either step is handled as above; start returns null when the clerk
    // goes on without a backup.
    std::unique_ptr<PendingBackup> startBackupBefore(BackupReason reason,
                                                     BackupCopy copy = BackupCopy::Meanwhile);
    void finishBackup(std::unique_ptr<PendingBackup>& pending);
    // The day's first backup, taken at start-up unless one was taken today. Throws
    // DbError when it cannot be taken (the program goes on).
    void dailyBackup();
    // Replaces the whole database by a backup: a row being typed is stored, a backup of
    // the current state taken first (backupBefore), then every open table read afresh.
    // Throws DbError (nothing changed) or AbortError.
    void restoreFromBackup(const QString& backupPath);
    const QString& databasePath() const { return m_databasePath; }

private:
    void clearUserRows(Table& table, const QString& sql);
    void declareFields();
    bool ask(const QString& text);
    void goOnWithoutBackup(const DbError& e); // asks, or throws
    void notice(const QString& text);

    QString m_databasePath;
    RuleInteraction* m_interaction = nullptr;
    PaymentButtons* m_paymentButtons = nullptr;
};

} // namespace bankprep

#pragma once

#include "core/data/money.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <future>
#include <optional>
#include <vector>

namespace bankprep {

class Connection;

// The three kinds of bank file.
enum class ExportKind
{
    Payments,
    Salary,
    Payees
};
QString exportKindText(ExportKind kind); // "支付指令", "工资", "往来帐户"

// What a bank file says when read by the bank's rules.
struct BankFileSummary
{
    qint64 lines = 0; // instructions, payroll lines or payees (headers not counted)
    Money total;      // payments and payroll; 0 for the payee book
};

// Reads a bank file as the bank's client does: strict GBK, every line ended by CR LF,
// the field count of its kind on every line, exact amounts, and for payments the first
// line's count and total equal to the lines that follow. Throws DbError naming the line.
BankFileSummary readBankFile(ExportKind kind, const QByteArray& bytes);

// One bank file written, as the journal keeps it.
struct JournalEntry
{
    qint64 id = 0;
    QDateTime time;
    ExportKind kind = ExportKind::Payments;
    QString path; // absolute, as the clerk named it
    QString payer;
    qint64 lines = 0;
    Money total;
    QByteArray sha256; // hex of the bytes written
    QString user;
};

// The journal of written bank files: the table ExportLog of the database, made by the
// first export. Throws DbError.
QList<JournalEntry> exportJournal(Connection& conn); // newest first

// An instruction the clerk should look at before sending the batch.
struct DuplicatePayment
{
    qint64 line = 0; // the instruction's place in the file (1 = the first instruction)
    QString account;
    QString payee;
    Money amount;
    QString reason; // "本批中另有…" or "已于…导出"
};

// One export: the files built, read by the bank's rules when made (a file the builder got
// wrong is refused here, before anything is written), their SHA-256 computed on a thread
// of its own meanwhile.
class BankExport
{
public:
    // Throws DbError when a file breaks the bank's rules.
    BankExport(ExportKind kind, const QStringList& paths, const QList<QByteArray>& contents,
               const QString& payer = QString());
    ~BankExport();
    BankExport(const BankExport&) = delete;
    BankExport& operator=(const BankExport&) = delete;

    qint64 lines() const { return m_lines; }
    Money total() const { return m_total; }
    int files() const { return int(m_paths.size()); }
    ExportKind kind() const { return m_kind; }

    // Payment instructions with the same payee account and amount as another of this
    // batch, or as one exported in the last 10 days (from the journal): how many, and the
    // first `listed` of them in the file's order. Throws DbError.
    struct Duplicates
    {
        qint64 count = 0;
        QList<DuplicatePayment> listed;
    };
    Duplicates duplicates(Connection& conn, int listed = 1000,
                          const QDateTime& now = QDateTime::currentDateTime()) const;

    // Writes the files all or nothing (writeFilesAtomically), reads each back from the
    // disk before it replaces anything and compares it byte for byte with what was built
    // (a mismatch fails the export and leaves the old files as they were), then records
    // them in the journal. Throws DbError.
    QList<JournalEntry> write(Connection& conn, const QString& user,
                              const QDateTime& now = QDateTime::currentDateTime());

private:
    ExportKind m_kind;
    QStringList m_paths;
    QList<QByteArray> m_contents;
    QString m_payer;
    qint64 m_lines = 0;
    Money m_total;
    std::vector<BankFileSummary> m_summaries;
    std::vector<quint64> m_keys;        // payments: per instruction, its account and amount
    std::vector<quint64> m_sortedKeys;  // the same keys sorted (repeated ones kept)
    std::vector<qsizetype> m_lineStart; // payments: where each instruction's line begins
    std::future<QList<QByteArray>> m_hashes;
    QList<QByteArray> m_sha256; // once the thread gave them
};

// What the clerk reads before and after an export: "支付指令3笔，合计金额1,500.50元
// （人民币壹仟伍佰元伍角整）", and that the files were written and read back.
QString exportSummary(const BankExport& e);
QString exportedMessage(const BankExport& e);
// That a file is what the journal recorded.
QString verifiedMessage(const QString& path, const JournalEntry& entry);

// The lines a clerk reads about duplicates (at most `limit`, then how many in all).
QStringList duplicateLines(const BankExport::Duplicates& found, int limit = 20);

// Re-checks a file against its journal entry (by its path, else by its content): the
// entry when the file is byte for byte what was exported; otherwise DbError saying the
// file was changed after the export, or that no export of it is recorded.
JournalEntry verifyExportedFile(Connection& conn, const QString& path);

namespace testing {
// Lets a test play a failing disk: called on every block read back after writing.
void setReadBackFilter(std::function<void(QByteArray& block)> filter);
} // namespace testing

} // namespace bankprep

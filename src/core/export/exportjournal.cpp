#include "core/export/exportjournal.h"

#include "core/data/connection.h"
#include "core/data/dberror.h"
#include "core/data/fileguard.h"
#include "core/data/gbk.h"
#include "core/export/filewriter.h"
#include "core/export/sha256.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace bankprep {

namespace {

const char* const kCreateJournal = "CREATE TABLE IF NOT EXISTS \"ExportLog\" ("
                                   "\"编号\" INTEGER PRIMARY KEY AUTOINCREMENT, "
                                   "\"时间\" TEXT NOT NULL, "
                                   "\"类型\" TEXT NOT NULL, "
                                   "\"文件\" TEXT NOT NULL, "
                                   "\"支付帐号\" TEXT, "
                                   "\"笔数\" INTEGER NOT NULL, "
                                   "\"金额\" INTEGER NOT NULL, "
                                   "\"SHA256\" TEXT NOT NULL, "
                                   "\"用户编号\" TEXT, "
                                   // Payments: the sorted keys of payee account and amount, kept
                                   // for the duplicate warning of the next 10 days.
                                   "\"收款\" BLOB)";

constexpr int kDuplicateDays = 10;
const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

std::function<void(QByteArray&)>& readBackFilter()
{
    static std::function<void(QByteArray&)> f;
    return f;
}

const char* kindCode(ExportKind k)
{
    switch (k) {
    case ExportKind::Payments:
        return "payments";
    case ExportKind::Salary:
        return "salary";
    case ExportKind::Payees:
        return "payees";
    }
    return "payments";
}

ExportKind kindFromCode(const QString& code)
{
    if (code == QLatin1String("salary"))
        return ExportKind::Salary;
    if (code == QLatin1String("payees"))
        return ExportKind::Payees;
    return ExportKind::Payments;
}

// The key of an instruction's payee account and amount (as the file writes them).
quint64 paymentKey(const char* account, qsizetype accountSize, const char* amount,
                   qsizetype amountSize)
{
    quint64 h = 0xcbf29ce484222325ULL;
    auto mix = [&h](const char* p, qsizetype n) {
        for (qsizetype i = 0; i < n; ++i) {
            h ^= static_cast<unsigned char>(p[i]);
            h *= 0x100000001b3ULL;
        }
    };
    mix(account, accountSize);
    mix("|", 1);
    mix(amount, amountSize);
    // A final scramble, so that near texts are far keys.
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

struct Field
{
    qsizetype begin;
    qsizetype end;
};

[[noreturn]] void badLine(qint64 line, const QString& why)
{
    throw DbError(QStringLiteral("生成的银行文件第%1行不符合银行的格式：%2，未导出任何文件。")
                      .arg(line)
                      .arg(why));
}

// The bytes a line's walk must look at: CR, LF, the separator and every byte from 0x80.
const std::array<bool, 256>& specialBytes(char sep)
{
    static const auto make = [](char separator) {
        std::array<bool, 256> t{};
        for (int b = 0; b < 256; ++b)
            t[size_t(b)] =
                b == '\r' || b == '\n' || b == static_cast<unsigned char>(separator) || b >= 0x80;
        return t;
    };
    static const std::array<bool, 256> pipe = make('|');
    static const std::array<bool, 256> comma = make(',');
    return sep == ',' ? comma : pipe;
}

// Splits one line at `p` into fields, walking GBK characters (a trail byte may equal the
// separator). Returns the position after its CR LF.
qsizetype splitLine(const QByteArray& bytes, qsizetype p, char sep, qint64 lineNo,
                    std::vector<Field>& fields)
{
    const GbkEncoder& gbk = GbkEncoder::instance();
    const auto* d = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    const std::array<bool, 256>& special = specialBytes(sep);
    fields.clear();
    qsizetype begin = p;
    while (p < n) {
        while (p < n && !special[d[p]])
            ++p;
        if (p >= n)
            break;
        const unsigned char c = d[p];
        if (c == '\r') {
            if (p + 1 >= n || d[p + 1] != '\n')
                badLine(lineNo, QStringLiteral("行尾不是回车换行"));
            fields.push_back({begin, p});
            return p + 2;
        }
        if (c == '\n')
            badLine(lineNo, QStringLiteral("行尾不是回车换行"));
        if (c == static_cast<unsigned char>(sep)) {
            fields.push_back({begin, p});
            begin = ++p;
            continue;
        }
        if (c < 0x80) {
            ++p;
        } else if (c == 0x80 && gbk.defines(0x80)) {
            ++p;
        } else if (c != 0xFF && p + 1 < n && gbk.defines(std::uint16_t((c << 8) | d[p + 1]))) {
            p += 2;
        } else {
            badLine(lineNo, QStringLiteral("含有无效的GBK字符"));
        }
    }
    badLine(lineNo, QStringLiteral("最后一行没有回车换行"));
}

std::optional<Money> amountField(const QByteArray& bytes, const Field& f)
{
    return Money::parse(bytes.constData() + f.begin, size_t(f.end - f.begin));
}

// The bank's rules, read once; keys and line starts for payments when asked.
BankFileSummary readFile(ExportKind kind, const QByteArray& bytes, std::vector<quint64>* keys,
                         std::vector<qsizetype>* starts)
{
    const char sep = kind == ExportKind::Salary ? ',' : '|';
    const qsizetype fieldCount = kind == ExportKind::Payments ? 10
                                 : kind == ExportKind::Salary ? 4
                                                              : 8;
    const int amountAt = kind == ExportKind::Payments ? 6 : 3;
    std::vector<Field> f;
    f.reserve(12);
    BankFileSummary s;
    qsizetype p = 0;
    qint64 lineNo = 0;
    qint64 declaredCount = -1;
    Money declaredTotal;
    if (kind == ExportKind::Payments) {
        p = splitLine(bytes, p, '|', ++lineNo, f);
        const auto count = f.size() == 2 ? Money::parse(bytes.constData() + f[0].begin,
                                                        size_t(f[0].end - f[0].begin))
                                         : std::nullopt;
        const auto total = f.size() == 2 ? amountField(bytes, f[1]) : std::nullopt;
        if (!count || !total || count->units() % Money::kUnit != 0 || count->units() < 0)
            badLine(lineNo, QStringLiteral("第一行应为“笔数|合计金额”"));
        declaredCount = count->units() / Money::kUnit;
        declaredTotal = *total;
    } else if (kind == ExportKind::Salary) {
        QByteArray header;
        GbkEncoder::instance().append(header, u"编号,姓名,卡号,实发工资\r\n");
        if (!bytes.startsWith(header))
            badLine(1, QStringLiteral("第一行应为“编号,姓名,卡号,实发工资”"));
        p = header.size();
        ++lineNo;
    }
    if (keys) {
        keys->reserve(size_t(std::max<qint64>(declaredCount, 0)));
        starts->reserve(size_t(std::max<qint64>(declaredCount, 0)));
    }
    while (p < bytes.size()) {
        const qsizetype start = p;
        p = splitLine(bytes, p, sep, ++lineNo, f);
        if (qsizetype(f.size()) != fieldCount)
            badLine(lineNo, QStringLiteral("应有%1个字段，实有%2个（某项内容中可能含有分隔符“%3”）")
                                .arg(fieldCount)
                                .arg(f.size())
                                .arg(QLatin1Char(sep)));
        ++s.lines;
        if (kind == ExportKind::Payees)
            continue;
        const Field& a = f[size_t(amountAt)];
        if (a.end > a.begin || kind == ExportKind::Salary) {
            const auto m = amountField(bytes, a);
            const auto sum = m ? s.total.plus(*m) : std::nullopt;
            if (!sum)
                badLine(lineNo, QStringLiteral("金额不是有效的数字"));
            s.total = *sum;
        }
        if (keys) {
            keys->push_back(paymentKey(bytes.constData() + f[2].begin, f[2].end - f[2].begin,
                                       bytes.constData() + a.begin, a.end - a.begin));
            starts->push_back(start);
        }
    }
    if (kind == ExportKind::Payments && (declaredCount != s.lines || declaredTotal != s.total))
        badLine(1, QStringLiteral("第一行的笔数或合计金额与各行不符"));
    return s;
}

void ensureJournal(Connection& conn)
{
    conn.exec(QString::fromUtf8(kCreateJournal));
}

bool journalExists(Connection& conn)
{
    Statement q(conn, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' "
                                     "AND name = 'ExportLog'"));
    q.exec();
    return q.next() && q.value(0).toInt() > 0;
}

JournalEntry entryFrom(const Statement& q)
{
    JournalEntry e;
    e.id = q.value(0).toLongLong();
    e.time = QDateTime::fromString(q.value(1).toString(), kTimeFormat);
    e.kind = kindFromCode(q.value(2).toString());
    e.path = q.value(3).toString();
    e.payer = q.value(4).toString();
    e.lines = q.value(5).toLongLong();
    e.total = Money::fromUnits(q.value(6).toLongLong());
    e.sha256 = q.value(7).toString().toLatin1();
    e.user = q.value(8).toString();
    return e;
}

const QString kEntryColumns =
    QStringLiteral("\"编号\", \"时间\", \"类型\", \"文件\", \"支付帐号\", \"笔数\", \"金额\", "
                   "\"SHA256\", \"用户编号\"");

// Reads `path` back and compares it with what was built; the first differing line is
// named.
void readBack(const QString& path, const QByteArray& expected, const QString& shownName)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    QByteArray block(1 << 22, Qt::Uninitialized);
    qsizetype at = 0;
    int err = fd < 0 ? errno : 0;
    qsizetype differsAt = -1;
    while (fd >= 0) {
        const ssize_t n = ::read(fd, block.data(), size_t(block.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            err = errno;
            break;
        }
        if (n == 0)
            break;
        QByteArray got = n == block.size() ? block : QByteArray(block.constData(), n);
        if (readBackFilter())
            readBackFilter()(got);
        const qsizetype room = std::max<qsizetype>(0, expected.size() - at);
        const qsizetype same = std::min(room, got.size());
        if (std::memcmp(got.constData(), expected.constData() + at, size_t(same)) != 0 ||
            got.size() > room) {
            for (qsizetype i = 0; i < same && differsAt < 0; ++i) {
                if (got.at(i) != expected.at(at + i))
                    differsAt = at + i;
            }
            if (differsAt < 0)
                differsAt = at + same;
            break;
        }
        at += got.size();
    }
    if (fd >= 0)
        ::close(fd);
    if (err)
        throw DbError(
            QStringLiteral("导出失败：写入的文件“%1”无法读回校验（%2）。原有文件未被改动。")
                .arg(shownName, FileGuard::describeErrno(err)));
    if (differsAt < 0 && at != expected.size())
        differsAt = at;
    if (differsAt >= 0) {
        const qint64 line = expected.left(differsAt).count("\r\n") + 1;
        throw DbError(
            QStringLiteral(
                "导出失败：文件“%1”写入磁盘后读回的内容与生成的不一致（自第%2行起），"
                "磁盘或存储设备可能有故障。原有文件未被改动，请换一个磁盘或文件夹再导出。")
                .arg(shownName)
                .arg(line));
    }
}

QString absolute(const QString& path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

} // namespace

QString exportKindText(ExportKind kind)
{
    switch (kind) {
    case ExportKind::Payments:
        return QStringLiteral("支付指令");
    case ExportKind::Salary:
        return QStringLiteral("工资");
    case ExportKind::Payees:
        return QStringLiteral("往来帐户");
    }
    return QString();
}

BankFileSummary readBankFile(ExportKind kind, const QByteArray& bytes)
{
    return readFile(kind, bytes, nullptr, nullptr);
}

QList<JournalEntry> exportJournal(Connection& conn)
{
    QList<JournalEntry> out;
    if (!journalExists(conn))
        return out;
    Statement q(
        conn,
        QStringLiteral("SELECT %1 FROM \"ExportLog\" ORDER BY \"编号\" DESC").arg(kEntryColumns));
    q.exec();
    while (q.next())
        out << entryFrom(q);
    return out;
}

BankExport::BankExport(ExportKind kind, const QStringList& paths, const QList<QByteArray>& contents,
                       const QString& payer)
    : m_kind(kind), m_paths(paths), m_contents(contents), m_payer(payer)
{
    // The hashes take their time beside the checks and the writing.
    m_hashes = std::async(std::launch::async, [contents] {
        QList<QByteArray> out;
        for (const QByteArray& c : contents)
            out << sha256Hex(c);
        return out;
    });
    for (const QByteArray& c : m_contents) {
        const bool keyed = kind == ExportKind::Payments;
        m_summaries.push_back(
            readFile(kind, c, keyed ? &m_keys : nullptr, keyed ? &m_lineStart : nullptr));
        m_lines += m_summaries.back().lines;
        const auto sum = m_total.plus(m_summaries.back().total);
        if (!sum)
            throw DbError(QStringLiteral("金额合计超出了可表示的范围，未导出任何文件。"));
        m_total = *sum;
    }
    m_sortedKeys = m_keys;
    std::sort(m_sortedKeys.begin(), m_sortedKeys.end());
}

BankExport::~BankExport()
{
    if (m_hashes.valid())
        m_hashes.wait();
}

namespace {

// Keys met more than once among sorted keys, each once.
std::vector<quint64> repeatedKeys(const std::vector<quint64>& sorted)
{
    std::vector<quint64> repeated;
    for (size_t i = 1; i < sorted.size(); ++i) {
        if (sorted[i] == sorted[i - 1] && (repeated.empty() || repeated.back() != sorted[i]))
            repeated.push_back(sorted[i]);
    }
    return repeated;
}

// The keys of this batch that payment exports of the last days had, each with the
// reason naming the newest of those exports.
class EarlierExports
{
public:
    EarlierExports(Connection& conn, const std::vector<quint64>& sortedKeys, const QDateTime& now)
    {
        if (!journalExists(conn))
            return;
        Statement q(conn, QStringLiteral("SELECT \"时间\", \"文件\", \"收款\" FROM \"ExportLog\" "
                                         "WHERE \"类型\" = 'payments' AND \"收款\" IS NOT NULL "
                                         "AND \"时间\" >= :since ORDER BY \"编号\" DESC"));
        q.bind(0, now.addDays(-kDuplicateDays).toString(kTimeFormat));
        q.exec();
        while (q.next()) {
            const QByteArray blob = q.value(2).toByteArray();
            std::vector<quint64> keys(static_cast<size_t>(blob.size()) / sizeof(quint64));
            std::memcpy(keys.data(), blob.constData(), keys.size() * sizeof(quint64));
            // Both sorted: one walk finds what they share.
            size_t a = 0;
            for (quint64 k : keys) {
                while (a < sortedKeys.size() && sortedKeys[a] < k)
                    ++a;
                if (a < sortedKeys.size() && sortedKeys[a] == k)
                    m_found.push_back({k, int(m_reasons.size())});
            }
            m_reasons << QStringLiteral("已于%1导出过（%2）")
                             .arg(q.value(0).toString().left(16),
                                  QFileInfo(q.value(1).toString()).fileName());
        }
        // Newest export first for each key.
        std::stable_sort(m_found.begin(), m_found.end(),
                         [](const Found& x, const Found& y) { return x.key < y.key; });
    }
    bool isEmpty() const { return m_found.empty(); }
    const QString* reasonFor(quint64 key) const
    {
        const auto it = std::lower_bound(m_found.begin(), m_found.end(), key,
                                         [](const Found& x, quint64 k) { return x.key < k; });
        return it == m_found.end() || it->key != key ? nullptr : &m_reasons.at(it->reason);
    }

private:
    struct Found
    {
        quint64 key;
        int reason;
    };
    std::vector<Found> m_found;
    QStringList m_reasons;
};

// The other places (from 1) of a repeated key, in the words the clerk reads.
QString batchReason(const std::vector<std::pair<quint64, qint32>>& places, quint64 key, size_t line)
{
    const auto range =
        std::equal_range(places.begin(), places.end(), std::pair<quint64, qint32>{key, 0},
                         [](const auto& x, const auto& y) { return x.first < y.first; });
    const qsizetype others = (range.second - range.first) - 1;
    if (others > 4)
        return QStringLiteral("与本批另外%1笔的收款帐号和金额相同").arg(others);
    QStringList numbers;
    for (auto it = range.first; it != range.second; ++it) {
        if (size_t(it->second) != line)
            numbers << QString::number(it->second + 1);
    }
    return QStringLiteral("与本批第%1笔的收款帐号和金额相同").arg(numbers.join(u'、'));
}

// An instruction of the payment file, read back for the list.
DuplicatePayment describeLine(const QByteArray& file, qsizetype start, size_t line,
                              const QString& reason)
{
    std::vector<Field> f;
    splitLine(file, start, '|', qint64(line) + 2, f);
    const auto text = [&](int k) {
        QString t;
        GbkEncoder::instance().decode(file.constData() + f[size_t(k)].begin,
                                      f[size_t(k)].end - f[size_t(k)].begin, t);
        return t;
    };
    DuplicatePayment d;
    d.line = qint64(line) + 1;
    d.account = text(2);
    d.payee = text(3);
    d.amount = amountField(file, f[6]).value_or(Money());
    d.reason = reason;
    return d;
}

} // namespace

BankExport::Duplicates BankExport::duplicates(Connection& conn, int listed,
                                              const QDateTime& now) const
{
    Duplicates out;
    if (m_kind != ExportKind::Payments || m_keys.empty())
        return out;
    const std::vector<quint64> repeated = repeatedKeys(m_sortedKeys);
    const EarlierExports earlier(conn, m_sortedKeys, now);
    if (repeated.empty() && earlier.isEmpty())
        return out;
    const auto isRepeated = [&repeated](quint64 k) {
        return std::binary_search(repeated.begin(), repeated.end(), k);
    };
    // The places of each repeated key, for the reasons of the lines listed.
    std::vector<std::pair<quint64, qint32>> places;
    for (size_t i = 0; i < m_keys.size(); ++i) {
        if (isRepeated(m_keys[i]))
            places.push_back({m_keys[i], qint32(i)});
    }
    std::sort(places.begin(), places.end());
    for (size_t i = 0; i < m_keys.size(); ++i) {
        const bool inBatch = isRepeated(m_keys[i]);
        const QString* before = inBatch ? nullptr : earlier.reasonFor(m_keys[i]);
        if (!inBatch && !before)
            continue;
        ++out.count;
        if (out.listed.size() < listed)
            out.listed << describeLine(m_contents.constFirst(), m_lineStart[i], i,
                                       inBatch ? batchReason(places, m_keys[i], i) : *before);
    }
    return out;
}

QList<JournalEntry> BankExport::write(Connection& conn, const QString& user, const QDateTime& now)
{
    writeFilesAtomically(m_paths, m_contents, [this](qsizetype i, const QString& written) {
        readBack(written, m_contents.at(i), absolute(m_paths.at(i)));
    });
    if (m_hashes.valid())
        m_sha256 = m_hashes.get();
    const QList<QByteArray>& hashes = m_sha256;
    QList<JournalEntry> entries;
    try {
        ensureJournal(conn);
        Transaction transaction(conn);
        QByteArray keys;
        if (m_kind == ExportKind::Payments) {
            std::vector<quint64> sorted = m_sortedKeys;
            sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
            keys = QByteArray(reinterpret_cast<const char*>(sorted.data()),
                              qsizetype(sorted.size() * sizeof(quint64)));
            // Keys older than the warning's days are no longer needed.
            Statement prune(conn, QStringLiteral("UPDATE \"ExportLog\" SET \"收款\" = NULL "
                                                 "WHERE \"收款\" IS NOT NULL AND \"时间\" < :t"));
            prune.bind(0, now.addDays(-kDuplicateDays).toString(kTimeFormat));
            prune.exec();
        }
        for (qsizetype i = 0; i < m_paths.size(); ++i) {
            JournalEntry e;
            e.time = QDateTime::fromString(now.toString(kTimeFormat), kTimeFormat);
            e.kind = m_kind;
            e.path = absolute(m_paths.at(i));
            e.payer = m_payer;
            e.lines = m_summaries[size_t(i)].lines;
            e.total = m_summaries[size_t(i)].total;
            e.sha256 = hashes.at(i);
            e.user = user;
            Statement ins(conn, QStringLiteral("INSERT INTO \"ExportLog\" (\"时间\", \"类型\", "
                                               "\"文件\", \"支付帐号\", \"笔数\", \"金额\", "
                                               "\"SHA256\", \"用户编号\", \"收款\") VALUES "
                                               "(:a, :b, :c, :d, :e, :f, :g, :h, :i)"));
            ins.addBind(now.toString(kTimeFormat));
            ins.addBind(QString::fromLatin1(kindCode(m_kind)));
            ins.addBind(e.path);
            ins.addBind(e.payer);
            ins.addBind(qlonglong(e.lines));
            ins.addBind(qlonglong(e.total.units()));
            ins.addBind(QString::fromLatin1(e.sha256));
            ins.addBind(e.user);
            ins.addBind(keys.isEmpty() ? QVariant(QMetaType(QMetaType::QByteArray))
                                       : QVariant(keys));
            ins.exec();
            e.id = ins.lastInsertId().toLongLong();
            entries << e;
        }
        transaction.commit();
    } catch (const DbError& e) {
        throw DbError(QStringLiteral("银行文件已导出并经读回校验无误，但导出记录未能保存：%1")
                          .arg(e.message()));
    }
    return entries;
}

QString exportSummary(const BankExport& e)
{
    if (e.kind() == ExportKind::Payees)
        return QStringLiteral("往来帐户%1条").arg(e.lines());
    return QStringLiteral("%1%2笔，合计金额%3元（人民币%4）")
        .arg(exportKindText(e.kind()))
        .arg(e.lines())
        .arg(e.total().toDisplayString(), e.total().toChineseCapitals());
}

QString exportedMessage(const BankExport& e)
{
    const QString files = e.files() > 1 ? QStringLiteral("，共%1个文件").arg(e.files()) : QString();
    return QStringLiteral("已导出%1%2，已读回校验无误。").arg(exportSummary(e), files);
}

QString verifiedMessage(const QString& path, const JournalEntry& entry)
{
    const QString what = entry.kind == ExportKind::Payees
                             ? QStringLiteral("往来帐户%1条").arg(entry.lines)
                             : QStringLiteral("%1%2笔，合计金额%3元")
                                   .arg(exportKindText(entry.kind))
                                   .arg(entry.lines)
                                   .arg(entry.total.toDisplayString());
    const QString where = entry.path == absolute(path)
                              ? QString()
                              : QStringLiteral("（导出时的文件名为“%1”）").arg(entry.path);
    return QStringLiteral("文件“%1”与%2的导出记录一致%3：%4，导出后未被修改。")
        .arg(absolute(path), entry.time.toString(kTimeFormat), where, what);
}

QStringList duplicateLines(const BankExport::Duplicates& found, int limit)
{
    QStringList out;
    for (const DuplicatePayment& d : found.listed) {
        if (out.size() == limit)
            break;
        out << QStringLiteral("第%1笔：收款帐号 %2，收款单位 %3，金额 %4：%5")
                   .arg(d.line)
                   .arg(d.account, d.payee, d.amount.toDisplayString(), d.reason);
    }
    if (found.count > out.size())
        out << QStringLiteral("……共%1笔").arg(found.count);
    return out;
}

JournalEntry verifyExportedFile(Connection& conn, const QString& path)
{
    const QByteArray bytes = FileGuard::readInputFile(path);
    const QByteArray hash = sha256Hex(bytes);
    const QString name = absolute(path);
    const QList<JournalEntry> all = exportJournal(conn);
    const JournalEntry* byPath = nullptr;
    for (const JournalEntry& e : all) {
        if (e.path == name && e.sha256 == hash)
            return e;
        if (e.path == name && !byPath)
            byPath = &e;
    }
    if (byPath) {
        throw DbError(
            QStringLiteral("文件“%1”与%2的导出记录不一致：导出后已被修改或替换（记录为%3"
                           "%4笔，合计%5元）。请不要上传这个文件，重新导出。")
                .arg(name, byPath->time.toString(kTimeFormat), exportKindText(byPath->kind))
                .arg(byPath->lines)
                .arg(byPath->total.toDisplayString()));
    }
    for (const JournalEntry& e : all) {
        if (e.sha256 == hash)
            return e; // a copy of an exported file, moved or renamed since
    }
    throw DbError(
        QStringLiteral("没有文件“%1”的导出记录：它不是本程序导出的，或导出后已被修改。").arg(name));
}

namespace testing {
void setReadBackFilter(std::function<void(QByteArray& block)> filter)
{
    readBackFilter() = std::move(filter);
}
} // namespace testing

} // namespace bankprep

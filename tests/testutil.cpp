#include "testutil.h"

#include <QProcess>

#include "core/data/gbk.h"
#include "core/data/passwordhash.h"

#include <QFile>

#include <QAtomicInt>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <stdexcept>

namespace testutil {

namespace {

QAtomicInt g_counter;

// Tests create many databases: use the cheapest password hashing.
const bool g_cheapHash = [] {
    bankprep::setMinimalPasswordHashCost(true);
    return true;
}();

template <typename F> auto withDb(const QString& dbPath, F f)
{
    const QString name = QStringLiteral("testutil-%1").arg(g_counter.fetchAndAddRelaxed(1));
    struct Remover
    {
        QString name;
        ~Remover() { QSqlDatabase::removeDatabase(name); }
    } remover{name};
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(dbPath);
    if (!db.open())
        throw std::runtime_error(db.lastError().text().toStdString());
    return f(db);
}

QSqlQuery run(QSqlDatabase& db, const QString& sql, const QVariantList& params)
{
    QSqlQuery q(db);
    if (!q.prepare(sql))
        throw std::runtime_error((sql + QStringLiteral(": ") + q.lastError().text()).toStdString());
    for (int i = 0; i < params.size(); ++i)
        q.bindValue(i, params.at(i));
    if (!q.exec())
        throw std::runtime_error((sql + QStringLiteral(": ") + q.lastError().text()).toStdString());
    return q;
}

} // namespace

Workspace::Workspace()
{
    Q_UNUSED(g_cheapHash);
}

QString Workspace::path(const QString& name) const
{
    return m_dir.filePath(name);
}

void execSql(const QString& dbPath, const QString& sql, const QVariantList& params)
{
    withDb(dbPath, [&](QSqlDatabase& db) {
        run(db, sql, params);
        return 0;
    });
}

QVariant querySingle(const QString& dbPath, const QString& sql, const QVariantList& params)
{
    return withDb(dbPath, [&](QSqlDatabase& db) {
        QSqlQuery q = run(db, sql, params);
        return q.next() ? q.value(0) : QVariant();
    });
}

QList<QVariantList> queryRows(const QString& dbPath, const QString& sql)
{
    return withDb(dbPath, [&](QSqlDatabase& db) {
        QSqlQuery q = run(db, sql, {});
        QList<QVariantList> rows;
        while (q.next()) {
            QVariantList row;
            for (int i = 0; i < q.record().count(); ++i)
                row << q.value(i);
            rows << row;
        }
        return rows;
    });
}

QByteArray gbk(const char* utf8)
{
    QByteArray out;
    if (!bankprep::GbkEncoder::instance().append(out, QString::fromUtf8(utf8)))
        qFatal("test text has no GBK form");
    return out;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

QString pdfText(const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("<no text: %1>")
            .arg(QString::fromLocal8Bit(p.readAllStandardError()));
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace testutil

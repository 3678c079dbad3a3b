#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include "core/data/dberror.h"

namespace bankprep {
class Connection;
}

namespace testutil {

// A fresh folder for one test's database files.
class Workspace
{
public:
    Workspace();
    QString path(const QString& name = QStringLiteral("data.db")) const;
    bool isValid() const { return m_dir.isValid(); }

private:
    QTemporaryDir m_dir;
};

// Runs SQL on a database file through a connection of its own (as another program
// would), so tests can prepare files and read back what the program stored.
void execSql(const QString& dbPath, const QString& sql, const QVariantList& params = {});
QVariant querySingle(const QString& dbPath, const QString& sql, const QVariantList& params = {});
QList<QVariantList> queryRows(const QString& dbPath, const QString& sql);

// The GBK bytes of a UTF-8 text (the bank files' encoding).
QByteArray gbk(const char* utf8);
// A file's bytes, or "<missing>".
QByteArray readFile(const QString& path);
// Writes a file for a test to read (an unwritable path shows as a missing file later);
// returns the path.
QString writeFile(const QString& path, const QByteArray& bytes);

// The text of a PDF document as pdftotext reads it (poppler-utils), or "<no text: …>".
QString pdfText(const QString& path);

// The message of the DbError that `fn` throws, or "<no refusal>" when it returns.
template <typename Fn> QString refusalOf(Fn&& fn)
{
    try {
        fn();
    } catch (const bankprep::DbError& e) {
        return e.message();
    }
    return QStringLiteral("<no refusal>");
}

} // namespace testutil

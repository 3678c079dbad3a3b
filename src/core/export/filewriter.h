#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace bankprep {

// Puts a set of bank files (one file, or the pieces of a split payroll list) in place,
// all or nothing:
//  - every target is checked before anything is written: it must be absent, a regular
//    file or a symlink to one (the file it points to is replaced), never a FIFO, device,
//    folder or one of the program's database files;
//  - each file is written, unbuffered and one at a time, to a hidden temporary file
//    beside its target (".gz.txt.1.bankprep-<pid>-<nonce>.tmp"), every write checked,
//    then flushed to the disk; a full disk or a file-size limit discards the temporary
//    files and leaves every old file byte for byte as it was;
//  - only when all are complete are they renamed over their targets. Before the renames
//    of several files a small commit note is written; an export that crashes half-way
//    through its renames is completed by the next export into that folder, and temporary
//    files of an export that crashed earlier are removed then.
// `verify`, when given, is called for each file once all are written and flushed, with
// its index and the temporary file's path (dropped from the cache, so that reading it
// reads the disk); a throw discards every temporary file and replaces nothing.
// Throws DbError with a Chinese message naming the file and the cause.
void writeFilesAtomically(
    const QStringList& paths, const QList<QByteArray>& contents,
    const std::function<void(qsizetype index, const QString& writtenPath)>& verify = {});

// Completes or removes what a crashed export left in `folder` (done by every export for
// the folders it writes into; exposed for tests).
void recoverInterruptedExports(const QString& folder);

} // namespace bankprep

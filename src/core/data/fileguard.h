#pragma once

#include <QByteArray>
#include <QString>

namespace bankprep {

// The database files this process has open, and the checks every file the program reads
// or writes on the clerk's behalf passes first.
//
// SQLite keeps its locks as POSIX advisory locks, and closing *any* descriptor of a file
// releases every such lock the process holds on it. A second descriptor on data.db,
// data.db-wal or data.db-shm, opened and closed by anything but SQLite (a file dialog
// guessing a type, an import reading the wrong file, an export replacing it), would
// silently drop SQLite's locks, and the command-line tool running beside the desktop
// program would then checkpoint and delete a WAL still in use. So no code of this
// program opens those files itself: they are recognised by device and inode, whatever
// name, symlink or hard link points at them, and refused before anything is opened.
namespace FileGuard {

// Registered by the connection for as long as it is open.
void registerDatabase(const QString& path);
void unregisterDatabase(const QString& path);

// True when `path` (followed through symlinks) is an open database of this process or
// one of its companion files (-wal, -shm, -journal). A path that does not exist is not.
bool isDatabaseFile(const QString& path);

// Refuses (DbError, in Chinese) a `path` that cannot be read as an input file: missing,
// not a regular file (a folder, FIFO, device), a database file, or unreadable.
void checkInputFile(const QString& path);

// Reads a whole input file after checking it as checkInputFile() does, without blocking
// on a file swapped for a FIFO since. Throws DbError with a Chinese message naming the
// file.
QByteArray readInputFile(const QString& path);

// Refuses (DbError, in Chinese) a `path` that an export may not replace: it exists and is
// not a regular file or a symlink to one, it is a dangling symlink, it is a database file,
// or its folder does not exist.
void checkOutputTarget(const QString& path);
bool isAllowedOutputTarget(const QString& path); // the same test, as a yes or no

// The Chinese text of an errno value as the clerk needs it ("磁盘空间不足" for ENOSPC).
QString describeErrno(int error);

} // namespace FileGuard

} // namespace bankprep

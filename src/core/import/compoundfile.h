#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace bankprep {

// A compound file (the container of .xls workbooks): sectors chained through the FAT,
// a directory of storages and streams, small streams in the mini stream. Read from
// memory; every offset and chain is checked against the file, chains that loop or leave
// the file end there, and no stream is ever larger than the file itself.
class CompoundFile
{
public:
    // Throws spreadsheetOpenFailure() when `bytes` is not a compound file or its header
    // or directory is unusable.
    void open(QByteArray bytes);

    // Whether a stream of that name (letter case ignored) is anywhere in the directory.
    bool contains(const QString& name) const;
    // That stream; spreadsheetOpenFailure() when there is none.
    QByteArray stream(const QString& name) const;

private:
    struct Entry
    {
        QString name;
        int type = 0; // 1 storage, 2 stream, 5 root
        quint32 start = 0;
        quint64 size = 0;
    };
    void readHeader();
    std::vector<quint32> fatSectors() const;
    void readFat();
    void readDirectory();
    void readMiniStream();
    const Entry* find(const QString& name) const;
    quint32 u32(qsizetype at) const;
    quint16 u16(qsizetype at) const;
    QByteArray chain(const std::vector<quint32>& fat, quint32 start, qsizetype sectorSize,
                     const QByteArray& source, qsizetype sourceOffset, quint64 limit) const;

    QByteArray m_file;
    qsizetype m_sectorSize = 512;
    qsizetype m_miniSectorSize = 64;
    quint32 m_miniCutoff = 4096;
    bool m_version3 = false; // stream sizes of 32 bits
    std::vector<quint32> m_fat;
    std::vector<quint32> m_miniFat;
    std::vector<Entry> m_entries;
    QByteArray m_ministream;
};

} // namespace bankprep

#include "core/import/compoundfile.h"

#include "core/import/spreadsheet.h"

#include <algorithm>

namespace bankprep {

namespace {

constexpr quint32 kEndOfChain = 0xFFFFFFFE;
const QByteArray kSignature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

} // namespace

quint16 CompoundFile::u16(qsizetype at) const
{
    if (at < 0 || at + 2 > m_file.size())
        return 0;
    return quint16(quint8(m_file[at]) | (quint8(m_file[at + 1]) << 8));
}

quint32 CompoundFile::u32(qsizetype at) const
{
    return quint32(u16(at)) | (quint32(u16(at + 2)) << 16);
}

QByteArray CompoundFile::chain(const std::vector<quint32>& fat, quint32 start, qsizetype sectorSize,
                               const QByteArray& source, qsizetype sourceOffset,
                               quint64 limit) const
{
    QByteArray out;
    limit = std::min<quint64>(limit, quint64(source.size()));
    std::vector<bool> seen(fat.size());
    for (quint32 s = start; s != kEndOfChain && s < fat.size() && quint64(out.size()) < limit;
         s = fat[s]) {
        if (seen[s])
            break; // a loop in a damaged file
        seen[s] = true;
        const qsizetype off = sourceOffset + qsizetype(s) * sectorSize;
        if (off >= source.size())
            break;
        out.append(source.constData() + off, std::min(sectorSize, source.size() - off));
    }
    if (quint64(out.size()) > limit)
        out.truncate(qsizetype(limit));
    return out;
}

void CompoundFile::open(QByteArray bytes)
{
    m_file = std::move(bytes);
    m_fat.clear();
    m_miniFat.clear();
    m_entries.clear();
    m_ministream.clear();
    readHeader();
    readFat();
    readDirectory();
    readMiniStream();
}

// The signature and the sizes of sectors and mini sectors.
void CompoundFile::readHeader()
{
    if (m_file.size() < 512 || !m_file.startsWith(kSignature))
        throw spreadsheetOpenFailure();
    const quint16 shift = u16(0x1E);
    const quint16 miniShift = u16(0x20);
    if (shift < 7 || shift > 16 || miniShift < 2 || miniShift > shift)
        throw spreadsheetOpenFailure();
    m_sectorSize = qsizetype(1) << shift;
    m_miniSectorSize = qsizetype(1) << miniShift;
    m_miniCutoff = u32(0x38);
    m_version3 = u16(0x1A) == 3;
}

// The FAT's own sectors: 109 in the header, the rest in the DIFAT chain; only sectors
// of the file, never more than it has.
std::vector<quint32> CompoundFile::fatSectors() const
{
    // Sectors after the header, the last one possibly cut short.
    const quint64 sectors = quint64(
        (m_file.size() - std::min(m_file.size(), m_sectorSize) + m_sectorSize - 1) / m_sectorSize);
    std::vector<quint32> list;
    auto addFatSector = [&](quint32 s) {
        if (s < sectors && list.size() < sectors)
            list.push_back(s);
    };
    for (int i = 0; i < 109; ++i)
        addFatSector(u32(0x4C + i * 4));
    std::vector<bool> seenDifat(static_cast<size_t>(sectors));
    for (quint32 d = u32(0x44); d < sectors && !seenDifat[d];) {
        seenDifat[d] = true;
        const qsizetype off = qsizetype(d + 1) * m_sectorSize;
        const qsizetype per = m_sectorSize / 4 - 1;
        for (qsizetype i = 0; i < per; ++i)
            addFatSector(u32(off + i * 4));
        d = u32(off + per * 4);
    }
    return list;
}

// The sector chains: the entries of the FAT's sectors, in order.
void CompoundFile::readFat()
{
    for (quint32 s : fatSectors()) {
        const qsizetype off = qsizetype(s + 1) * m_sectorSize;
        for (qsizetype i = 0; i < m_sectorSize / 4 && off + i * 4 + 4 <= m_file.size(); ++i)
            m_fat.push_back(u32(off + i * 4));
    }
}

// The directory: 128 bytes per storage or stream, the root entry first.
void CompoundFile::readDirectory()
{
    const QByteArray dir =
        chain(m_fat, u32(0x30), m_sectorSize, m_file, m_sectorSize, quint64(m_file.size()));
    for (qsizetype e = 0; e + 128 <= dir.size(); e += 128) {
        auto byte = [&](int at) { return quint8(dir[e + at]); };
        auto word = [&](int at) { return quint32(byte(at)) | (quint32(byte(at + 1)) << 8); };
        auto dword = [&](int at) { return word(at) | (word(at + 2) << 16); };
        Entry entry;
        entry.type = byte(0x42);
        const int nameBytes = int(word(0x40));
        if (nameBytes >= 2 && nameBytes <= 64) {
            for (int i = 0; i < nameBytes / 2 - 1; ++i)
                entry.name += QChar(char16_t(word(i * 2)));
        }
        entry.start = dword(0x74);
        entry.size = quint64(dword(0x78)) | (m_version3 ? 0 : quint64(dword(0x7C)) << 32);
        m_entries.push_back(entry);
    }
    if (m_entries.empty() || m_entries.front().type != 5)
        throw spreadsheetOpenFailure();
}

// The small streams' container: the mini FAT and the root entry's stream.
void CompoundFile::readMiniStream()
{
    const QByteArray miniFat =
        chain(m_fat, u32(0x3C), m_sectorSize, m_file, m_sectorSize, quint64(m_file.size()));
    for (qsizetype i = 0; i + 4 <= miniFat.size(); i += 4)
        m_miniFat.push_back(quint32(quint8(miniFat[i])) | (quint32(quint8(miniFat[i + 1])) << 8) |
                            (quint32(quint8(miniFat[i + 2])) << 16) |
                            (quint32(quint8(miniFat[i + 3])) << 24));
    const Entry& root = m_entries.front();
    m_ministream = chain(m_fat, root.start, m_sectorSize, m_file, m_sectorSize, root.size);
}

const CompoundFile::Entry* CompoundFile::find(const QString& name) const
{
    for (size_t i = 1; i < m_entries.size(); ++i) {
        const Entry& e = m_entries[i];
        if (e.type == 2 && e.name.compare(name, Qt::CaseInsensitive) == 0)
            return &e;
    }
    return nullptr;
}

bool CompoundFile::contains(const QString& name) const
{
    return find(name) != nullptr;
}

QByteArray CompoundFile::stream(const QString& name) const
{
    const Entry* e = find(name);
    if (!e)
        throw spreadsheetOpenFailure();
    if (e->size < m_miniCutoff)
        return chain(m_miniFat, e->start, m_miniSectorSize, m_ministream, 0, e->size);
    return chain(m_fat, e->start, m_sectorSize, m_file, m_sectorSize, e->size);
}

} // namespace bankprep

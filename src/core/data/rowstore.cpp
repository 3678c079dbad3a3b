#include "core/data/rowstore.h"

#include <new>

namespace bankprep {

Row::Ptr Row::create(std::int64_t rowid, const CellIn* cells, std::uint32_t count)
{
    std::size_t payload = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        switch (cells[i].tag) {
        case CellTag::Null:
            break;
        case CellTag::Int:
        case CellTag::Real:
            payload += 8;
            break;
        case CellTag::Text:
            payload += cells[i].size;
            break;
        }
    }
    const std::size_t bytes = sizeof(Row) + count * (sizeof(std::uint32_t) + 1) + payload;
    void* mem = ::operator new(bytes);
    Row* row = new (mem) Row();
    row->m_rowid = rowid;
    row->m_count = count;
    auto* ends = reinterpret_cast<std::uint32_t*>(row + 1);
    auto* tags = reinterpret_cast<std::uint8_t*>(ends + count);
    char* out = reinterpret_cast<char*>(tags + count);
    std::uint32_t offset = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const CellIn& c = cells[i];
        tags[i] = std::uint8_t(c.tag);
        switch (c.tag) {
        case CellTag::Null:
            break;
        case CellTag::Int:
            std::memcpy(out + offset, &c.i, 8);
            offset += 8;
            break;
        case CellTag::Real:
            std::memcpy(out + offset, &c.r, 8);
            offset += 8;
            break;
        case CellTag::Text:
            if (c.size)
                std::memcpy(out + offset, c.text, c.size);
            offset += c.size;
            break;
        }
        ends[i] = offset;
    }
    return Ptr(row);
}

bool Row::holds(const CellIn* cells, std::uint32_t count) const
{
    if (count != m_count)
        return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const CellIn& in = cells[i];
        const CellView c = cell(i);
        if (c.tag != in.tag)
            return false;
        switch (in.tag) {
        case CellTag::Null:
            break;
        case CellTag::Int:
            if (c.toInt() != in.i)
                return false;
            break;
        case CellTag::Real:
            if (std::memcmp(c.data, &in.r, 8) != 0)
                return false;
            break;
        case CellTag::Text:
            if (c.size != in.size || (in.size && std::memcmp(c.data, in.text, in.size) != 0))
                return false;
            break;
        }
    }
    return true;
}

} // namespace bankprep

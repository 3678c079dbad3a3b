#pragma once

#include "core/data/money.h"

#include <QString>
#include <QVariant>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace bankprep {

enum class CellTag : std::uint8_t
{
    Null,
    Int,
    Real,
    Text
};

// A read-only view of one stored cell. Texts are UTF-8 as the database gives them;
// amounts and keys are integers (amounts in ten-thousandths).
struct CellView
{
    CellTag tag = CellTag::Null;
    const char* data = nullptr;
    std::uint32_t size = 0;

    bool isNull() const { return tag == CellTag::Null; }
    std::int64_t toInt() const
    {
        std::int64_t v = 0;
        if (tag == CellTag::Int)
            std::memcpy(&v, data, sizeof v);
        return v;
    }
    double toReal() const
    {
        double v = 0;
        if (tag == CellTag::Real)
            std::memcpy(&v, data, sizeof v);
        return v;
    }
    QString toText() const
    {
        return tag == CellTag::Text ? QString::fromUtf8(data, size) : QString();
    }
};

// One stored row packed into a single allocation: the row id, then per column an end
// offset and a tag, then the payload. A million payment rows fit in a few hundred MB.
class Row
{
public:
    struct Deleter
    {
        void operator()(Row* r) const { ::operator delete(r); }
    };
    using Ptr = std::unique_ptr<Row, Deleter>;

    // Input for building a row.
    struct CellIn
    {
        CellTag tag = CellTag::Null;
        std::int64_t i = 0;
        double r = 0;
        const char* text = nullptr;
        std::uint32_t size = 0;
    };

    static Ptr create(std::int64_t rowid, const CellIn* cells, std::uint32_t count);

    // True when the row holds exactly these cells (a re-read finds it unchanged).
    bool holds(const CellIn* cells, std::uint32_t count) const;

    std::int64_t rowid() const { return m_rowid; }
    std::uint32_t columnCount() const { return m_count; }
    CellView cell(std::uint32_t i) const
    {
        const auto* ends = reinterpret_cast<const std::uint32_t*>(this + 1);
        const auto* tags = reinterpret_cast<const std::uint8_t*>(ends + m_count);
        const char* payload = reinterpret_cast<const char*>(tags + m_count);
        const std::uint32_t begin = i == 0 ? 0 : ends[i - 1];
        return CellView{CellTag(tags[i]), payload + begin, ends[i] - begin};
    }

private:
    Row() = default;
    std::int64_t m_rowid = 0;
    std::uint32_t m_count = 0;
    std::uint32_t m_pad = 0;
};

} // namespace bankprep

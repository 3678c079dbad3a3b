#pragma once

#include "core/data/rowstore.h"

class QCollator;

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <unordered_set>
#include <vector>

namespace bankprep {

// Every stored row of a table in the order of one column, kept between sorts: a title
// click back on a column, or a filter switched on or off in a sorted list, presents
// 200,000 payees without sorting them again. Texts sort in the Chinese order (case
// counts), numbers by value, empty cells first; rows that sort alike keep the order of
// their keys. The table reports each row it adds or drops; the order is brought up to
// date when it is next asked for: a few rows are put in their places, many make a new
// sort. Only the order is kept (8 bytes a row), not the collation keys.
class SortOrder
{
public:
    SortOrder(std::uint32_t column, bool text);
    ~SortOrder();

    std::uint32_t column() const { return m_column; }

    void added(Row* row)
    {
        if (!m_whole)
            m_added.push_back(row);
    }
    // A row about to be freed (its address may be reused by a row added later).
    void removed(const Row* row);
    // Every row is dropped: the next call to rows() reads all of them afresh.
    void clear();

    // Every row of `all` in order. `all` must hold exactly the rows added and not
    // removed since the last clear().
    const std::vector<Row*>& rows(const std::vector<Row::Ptr>& all);
    // True until the order is sorted (or adopted) after a clear().
    bool isWhole() const { return m_whole; }
    // Takes the order a Presort computed over exactly `all`: its positions in `all`.
    void adopt(const std::vector<std::uint32_t>& positions, const std::vector<Row::Ptr>& all);

private:
    bool before(const Row* a, const Row* b) const;
    void sortWhole(const std::vector<Row::Ptr>& all);
    void place(Row* row);

    std::uint32_t m_column;
    bool m_text;
    std::unique_ptr<QCollator> m_collator;
    bool m_whole = true; // sort every row at the next call
    std::vector<Row*> m_order;
    std::vector<Row*> m_added;
    std::unordered_set<const Row*> m_removed;
};

// The order of one column computed on a thread of its own, over a copy of the column
// taken when it starts, so that a first sort by that column finds it ready. It belongs
// to the rows as they were then (`generation()`, the table's count of changes).
class Presort
{
public:
    // `done` is called on the thread when the order is ready.
    Presort(std::uint32_t column, bool text, const std::vector<Row::Ptr>& all,
            std::uint64_t generation, std::function<void()> done);
    ~Presort(); // waits for the thread
    std::uint32_t column() const { return m_column; }
    std::uint64_t generation() const { return m_generation; }
    std::vector<std::uint32_t> take(); // waits; once

private:
    std::uint32_t m_column;
    std::uint64_t m_generation;
    QByteArray m_bytes;
    std::vector<std::uint32_t> m_ends;
    std::vector<CellTag> m_tags;
    std::vector<std::int64_t> m_rowids;
    std::future<std::vector<std::uint32_t>> m_positions;
};

} // namespace bankprep

#pragma once

#include "core/data/rowstore.h"

#include <QCollatorSortKey>
#include <cstdint>
#include <optional>
#include <unordered_set>
#include <vector>

namespace bankprep {

// Every stored row of a table in the order of one column, kept between sorts: a title
// click back on a column, or a filter switched on or off in a sorted list, presents
// 200,000 payees without computing a collation key again. Texts sort in the Chinese
// order (case counts), numbers by value, empty cells first; rows that sort alike keep
// the order of their keys. The table reports each row it adds or drops; the order is
// brought up to date when it is next asked for, the rows it already holds keeping their
// keys.
class SortOrder
{
public:
    SortOrder(std::uint32_t column, bool text) : m_column(column), m_text(text) {}

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

private:
    struct Entry
    {
        Row* row;
        std::int64_t rowid;
        int rank; // 0: empty cell, first
        std::int64_t number;
        std::optional<QCollatorSortKey> key;
    };
    static bool before(const Entry& a, const Entry& b);
    void addEntries(const std::vector<Row*>& rows);

    std::uint32_t m_column;
    bool m_text;
    bool m_whole = true; // read every row at the next call
    std::vector<Entry> m_entries;
    std::vector<Row*> m_added;
    std::unordered_set<const Row*> m_removed;
    std::vector<Row*> m_order;
};

} // namespace bankprep

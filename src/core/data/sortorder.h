#pragma once

#include "core/data/rowstore.h"

class QCollator;

#include <cstdint>
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

private:
    bool before(const Row* a, const Row* b) const;
    bool textsRepeat(const std::vector<Row::Ptr>& all) const;
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

} // namespace bankprep

#include "core/data/sortorder.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <thread>

namespace bankprep {

namespace {

QCollator chineseCollator()
{
    QCollator collator{QLocale(QLocale::Chinese, QLocale::China)};
    collator.setNumericMode(false);
    collator.setCaseSensitivity(Qt::CaseSensitive);
    return collator;
}

// Below this many rows one thread computes the keys; above it, two share the work
// (each with a collator of its own: a collator is not shared between threads).
constexpr size_t kRowsPerThread = 50000;

} // namespace

void SortOrder::removed(const Row* row)
{
    const auto pending = std::find(m_added.begin(), m_added.end(), row);
    if (pending != m_added.end()) {
        m_added.erase(pending); // added and gone before the order was asked for
        return;
    }
    if (!m_whole)
        m_removed.insert(row);
}

void SortOrder::clear()
{
    m_whole = true;
    m_entries.clear();
    m_entries.shrink_to_fit();
    m_added.clear();
    m_removed.clear();
    m_order.clear();
}

bool SortOrder::before(const Entry& a, const Entry& b)
{
    if (a.rank != b.rank)
        return a.rank < b.rank;
    if (a.key && b.key) {
        const int c = a.key->compare(*b.key);
        if (c != 0)
            return c < 0;
    } else if (a.number != b.number) {
        return a.number < b.number;
    }
    return a.rowid < b.rowid;
}

void SortOrder::addEntries(const std::vector<Row*>& rows)
{
    const size_t first = m_entries.size();
    m_entries.reserve(first + rows.size());
    for (Row* r : rows) {
        const CellView c = r->cell(m_column);
        m_entries.push_back({r, r->rowid(), c.isNull() ? 0 : 1, m_text ? 0 : c.toInt(), {}});
    }
    if (!m_text)
        return;
    const auto keys = [this](size_t from, size_t to) {
        const QCollator collator = chineseCollator();
        for (size_t i = from; i < to; ++i) {
            Entry& e = m_entries[i];
            const CellView c = e.row->cell(m_column);
            // A number stored in a text column sorts as its digits.
            const QString t = c.tag == CellTag::Text  ? c.toText()
                              : c.tag == CellTag::Int ? QString::number(c.toInt())
                                                      : QString();
            e.key = collator.sortKey(t);
        }
    };
    const size_t end = m_entries.size();
    if (end - first < 2 * kRowsPerThread) {
        keys(first, end);
        return;
    }
    const size_t middle = first + (end - first) / 2;
    std::thread helper(keys, middle, end);
    keys(first, middle);
    helper.join();
}

const std::vector<Row*>& SortOrder::rows(const std::vector<Row::Ptr>& all)
{
    const size_t expected = m_entries.size() - m_removed.size() + m_added.size();
    if (!m_whole && expected != all.size())
        clear(); // not told of every change: read every row again
    bool changed = false;
    if (m_whole) {
        m_entries.clear();
        m_added.clear();
        m_removed.clear();
        std::vector<Row*> every;
        every.reserve(all.size());
        for (const Row::Ptr& r : all)
            every.push_back(r.get());
        addEntries(every);
        std::sort(m_entries.begin(), m_entries.end(), before);
        m_whole = false;
        changed = true;
    } else {
        if (!m_removed.empty()) {
            std::erase_if(m_entries, [this](const Entry& e) { return m_removed.count(e.row) > 0; });
            m_removed.clear();
            changed = true;
        }
        if (!m_added.empty()) {
            const auto middle = std::ptrdiff_t(m_entries.size());
            addEntries(m_added);
            m_added.clear();
            std::sort(m_entries.begin() + middle, m_entries.end(), before);
            std::inplace_merge(m_entries.begin(), m_entries.begin() + middle, m_entries.end(),
                               before);
            changed = true;
        }
    }
    if (changed || m_order.size() != m_entries.size()) {
        m_order.clear();
        m_order.reserve(m_entries.size());
        for (const Entry& e : m_entries)
            m_order.push_back(e.row);
    }
    return m_order;
}

} // namespace bankprep

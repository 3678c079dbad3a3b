#include "core/data/sortorder.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace bankprep {

namespace {

QCollator chineseCollator()
{
    QCollator collator{QLocale(QLocale::Chinese, QLocale::China)};
    collator.setNumericMode(false);
    collator.setCaseSensitivity(Qt::CaseSensitive);
    return collator;
}

// A number stored in a text column sorts as its digits.
QString sortText(const CellView& c)
{
    return c.tag == CellTag::Text  ? c.toText()
           : c.tag == CellTag::Int ? QString::number(c.toInt())
                                   : QString();
}

// Below this many rows one thread computes the keys of a sort; above it, two share the
// work (each with a collator of its own: a collator is not shared between threads).
constexpr size_t kRowsPerThread = 50000;

// More rows added than this since the last sort make a new
// sort instead of putting each in its place.
constexpr size_t kFewRows = 64;

// A thread that works ahead runs at a lower priority (the threads it starts too).
void lowerThisThreadsPriority()
{
#ifdef __linux__
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 10);
#endif
}

} // namespace

SortOrder::SortOrder(std::uint32_t column, bool text)
    : m_column(column), m_text(text),
      m_collator(text ? std::make_unique<QCollator>(chineseCollator()) : nullptr)
{
}

SortOrder::~SortOrder() = default;

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
    m_order.clear();
    m_order.shrink_to_fit();
    m_added.clear();
    m_removed.clear();
}

bool SortOrder::before(const Row* a, const Row* b) const
{
    const CellView x = a->cell(m_column);
    const CellView y = b->cell(m_column);
    if (x.isNull() != y.isNull())
        return x.isNull();
    if (m_text) {
        const int c = m_collator->compare(sortText(x), sortText(y));
        if (c != 0)
            return c < 0;
    } else if (x.toInt() != y.toInt()) {
        return x.toInt() < y.toInt();
    }
    return a->rowid() < b->rowid();
}

namespace {

// The Chinese order of texts made only of ASCII characters, without a collation key
// each: every character's place in the order (its primary weight, ignorable or not) and
// its case (the tertiary difference) are read from the collator itself, once, and the
// model is checked against the collator on pairs of characters; where it does not hold,
// no text is ordered this way.
class AsciiOrder
{
public:
    static const AsciiOrder* instance()
    {
        static const AsciiOrder order;
        return order.m_holds ? &order : nullptr;
    }

    // A key whose bytes compare as the collator compares the texts: the characters'
    // primary places, a 0, then their cases.
    void key(std::string_view text, std::string& out) const
    {
        for (const char c : text) {
            if (const std::uint8_t p = m_primary[std::uint8_t(c)])
                out += char(p);
        }
        out += '\0';
        for (const char c : text) {
            if (m_primary[std::uint8_t(c)])
                out += char(m_case[std::uint8_t(c)]);
        }
    }
    static bool isAscii(std::string_view text)
    {
        return std::all_of(text.begin(), text.end(), [](char c) { return std::uint8_t(c) < 0x80; });
    }

private:
    AsciiOrder()
    {
        QCollator exact = chineseCollator();
        QCollator anyCase = chineseCollator();
        anyCase.setCaseSensitivity(Qt::CaseInsensitive);
        const QString a = QStringLiteral("a");
        std::vector<QString> chars;
        for (char16_t c = 0; c < 0x80; ++c) {
            const QString one(QChar{c});
            if (exact.compare(one + a, a) != 0) // else ignored wherever it stands
                chars.push_back(one);
        }
        std::stable_sort(chars.begin(), chars.end(), [&](const QString& x, const QString& y) {
            return exact.compare(x, y) < 0;
        });
        std::uint8_t place = 0;
        std::uint8_t cased = 0;
        for (size_t i = 0; i < chars.size(); ++i) {
            if (i == 0 || anyCase.compare(chars[i - 1], chars[i]) != 0) {
                ++place;
                cased = 0;
            }
            const auto c = std::uint8_t(chars[i].at(0).unicode());
            m_primary[c] = place;
            m_case[c] = ++cased;
        }
        m_holds = check(exact, chars);
    }

    // Every pair of two-character texts over a sample of the characters (letters of both
    // cases, digits, blanks, punctuation, ignored ones) orders as the collator orders it.
    bool check(const QCollator& exact, const std::vector<QString>& chars) const
    {
        QStringList sample;
        for (const char* c : {"a", "A", "b", "B", "z", "Z", "0", "1", "9", " ", "\t", "-", "_", ".",
                              "/", "(", "~", "\x01"})
            sample << QString::fromLatin1(c);
        QStringList texts = sample;
        for (const QString& x : sample) {
            for (const QString& y : sample)
                texts << x + y;
        }
        if (chars.size() < 62)
            return false; // letters and digits at least
        std::string kx;
        std::string ky;
        for (const QString& x : texts) {
            for (const QString& y : sample) {
                for (const QString& t : {y, y + y}) {
                    kx.clear();
                    ky.clear();
                    key(x.toStdString(), kx);
                    key(t.toStdString(), ky);
                    const int model = kx.compare(ky);
                    const int real = exact.compare(x, t);
                    if ((model < 0) != (real < 0) || (model > 0) != (real > 0))
                        return false;
                }
            }
        }
        return true;
    }

    std::uint8_t m_primary[128] = {};
    std::uint8_t m_case[128] = {};
    bool m_holds = false;
};

// The rank of every text of a column in the Chinese order: each text's collation key is
// computed once however many rows hold it (a bank's name, a place), by two threads when
// there are many; texts of ASCII characters only (accounts) need no collation key.
std::vector<std::uint32_t> textRanks(const std::vector<std::string_view>& texts, bool parallel)
{
    std::vector<std::uint32_t> byKey(texts.size());
    for (size_t i = 0; i < byKey.size(); ++i)
        byKey[i] = std::uint32_t(i);
    const auto sortByKey = [&](const auto& before) {
        if (!parallel || byKey.size() < 2 * kRowsPerThread) {
            std::sort(byKey.begin(), byKey.end(), before);
            return;
        }
        // Two halves sorted at once, then merged.
        const auto middle = byKey.begin() + std::ptrdiff_t(byKey.size() / 2);
        std::thread helper([&] { std::sort(middle, byKey.end(), before); });
        std::sort(byKey.begin(), middle, before);
        helper.join();
        std::inplace_merge(byKey.begin(), middle, byKey.end(), before);
    };
    // Equal keys share a rank.
    const auto ranked = [&](const auto& same) {
        std::vector<std::uint32_t> rank(texts.size());
        std::uint32_t r = 0;
        for (size_t i = 0; i < byKey.size(); ++i) {
            if (i > 0 && !same(byKey[i - 1], byKey[i]))
                ++r;
            rank[byKey[i]] = r;
        }
        return rank;
    };

    const AsciiOrder* ascii = AsciiOrder::instance();
    if (ascii && std::all_of(texts.begin(), texts.end(), AsciiOrder::isAscii)) {
        std::string arena;
        std::vector<std::uint32_t> ends(texts.size());
        for (size_t i = 0; i < texts.size(); ++i) {
            ascii->key(texts[i], arena);
            ends[i] = std::uint32_t(arena.size());
        }
        const auto keyOf = [&](std::uint32_t i) {
            const std::uint32_t begin = i == 0 ? 0 : ends[i - 1];
            return std::string_view(arena).substr(begin, ends[i] - begin);
        };
        sortByKey([&](std::uint32_t a, std::uint32_t b) { return keyOf(a) < keyOf(b); });
        return ranked([&](std::uint32_t a, std::uint32_t b) { return keyOf(a) == keyOf(b); });
    }

    std::vector<std::optional<QCollatorSortKey>> keys(texts.size());
    const auto compute = [&](size_t from, size_t to) {
        const QCollator collator = chineseCollator();
        for (size_t i = from; i < to; ++i)
            keys[i] =
                collator.sortKey(QString::fromUtf8(texts[i].data(), qsizetype(texts[i].size())));
    };
    if (!parallel || texts.size() < 2 * kRowsPerThread) {
        compute(0, texts.size());
    } else {
        const size_t middle = texts.size() / 2;
        std::thread helper(compute, middle, texts.size());
        compute(0, middle);
        helper.join();
    }
    sortByKey([&](std::uint32_t a, std::uint32_t b) { return keys[a]->compare(*keys[b]) < 0; });
    return ranked(
        [&](std::uint32_t a, std::uint32_t b) { return keys[a]->compare(*keys[b]) == 0; });
}

} // namespace

namespace {

// The positions 0 .. n-1 of a column's cells in order: empty cells first, then texts in
// the Chinese order (or numbers by value), then by key. `cellAt(i)` and `rowidAt(i)` give
// the cell and the key of position i.
template <typename CellAt, typename RowidAt>
std::vector<std::uint32_t> sortedPositions(size_t n, bool text, bool parallel, CellAt cellAt,
                                           RowidAt rowidAt)
{
    struct Placed
    {
        std::uint32_t position;
        std::int64_t value;
        bool empty;
    };
    std::vector<Placed> placed;
    placed.reserve(n);
    if (text) {
        // A column whose texts repeat (banks, places, classifications) is ranked by its
        // distinct texts; one of distinct texts (accounts) is ranked row by row, without
        // looking the texts up. Which one is told by the first rows; the order is the
        // same either way.
        constexpr size_t kSample = 2000;
        std::unordered_set<std::string_view> seen;
        for (size_t i = 0; i < std::min(n, kSample); ++i) {
            const CellView c = cellAt(i);
            seen.insert(c.tag == CellTag::Text ? std::string_view(c.data, c.size)
                                               : std::string_view());
        }
        const bool repeats = seen.size() * 10 < std::min(n, kSample) * 9;
        std::unordered_map<std::string_view, std::uint32_t> ids;
        std::vector<std::string_view> texts;
        texts.reserve(repeats ? 0 : n);
        std::deque<std::string> numbers; // texts of numbers stored in the column
        std::vector<std::uint32_t> idOf;
        idOf.reserve(n);
        for (size_t i = 0; i < n; ++i) {
            const CellView c = cellAt(i);
            std::string_view bytes;
            if (c.tag == CellTag::Text)
                bytes = std::string_view(c.data, c.size);
            else if (c.tag == CellTag::Int)
                bytes = numbers.emplace_back(std::to_string(c.toInt()));
            std::uint32_t id = std::uint32_t(texts.size());
            if (repeats) {
                const auto [it, fresh] = ids.try_emplace(bytes, id);
                id = it->second;
                if (!fresh) {
                    idOf.push_back(id);
                    continue;
                }
            }
            texts.push_back(bytes);
            idOf.push_back(id);
        }
        const std::vector<std::uint32_t> rank = textRanks(texts, parallel);
        for (size_t i = 0; i < n; ++i)
            placed.push_back({std::uint32_t(i), rank[idOf[i]], cellAt(i).isNull()});
    } else {
        for (size_t i = 0; i < n; ++i) {
            const CellView c = cellAt(i);
            placed.push_back({std::uint32_t(i), c.toInt(), c.isNull()});
        }
    }
    std::sort(placed.begin(), placed.end(), [&](const Placed& a, const Placed& b) {
        if (a.empty != b.empty)
            return a.empty;
        if (a.value != b.value)
            return a.value < b.value;
        return rowidAt(a.position) < rowidAt(b.position);
    });
    std::vector<std::uint32_t> positions;
    positions.reserve(n);
    for (const Placed& p : placed)
        positions.push_back(p.position);
    return positions;
}

} // namespace

void SortOrder::sortWhole(const std::vector<Row::Ptr>& all)
{
    adopt(sortedPositions(
              all.size(), m_text, true, [&](size_t i) { return all[i]->cell(m_column); },
              [&](size_t i) { return all[i]->rowid(); }),
          all);
}

void SortOrder::adopt(const std::vector<std::uint32_t>& positions, const std::vector<Row::Ptr>& all)
{
    m_order.clear();
    m_order.reserve(positions.size());
    for (std::uint32_t p : positions)
        m_order.push_back(all[p].get());
    m_added.clear();
    m_removed.clear();
    m_whole = false;
}

// ---------------------------------------------------------------------------

Presort::Presort(std::uint32_t column, bool text, const std::vector<Row::Ptr>& all,
                 std::uint64_t generation, std::function<void()> done)
    : m_column(column), m_generation(generation)
{
    // A copy of the column: the thread never touches the table's rows.
    m_tags.reserve(all.size());
    m_ends.reserve(all.size());
    m_rowids.reserve(all.size());
    for (const Row::Ptr& r : all) {
        const CellView c = r->cell(column);
        m_tags.push_back(c.tag);
        if (c.tag == CellTag::Int || c.tag == CellTag::Real)
            m_bytes.append(c.data, 8);
        else if (c.tag == CellTag::Text)
            m_bytes.append(c.data, qsizetype(c.size));
        m_ends.push_back(std::uint32_t(m_bytes.size()));
        m_rowids.push_back(r->rowid());
    }
    m_positions = std::async(std::launch::async, [this, text, done = std::move(done)] {
        // Below the program's own thread: it works on its core as if nothing else ran.
        lowerThisThreadsPriority();
        std::vector<std::uint32_t> positions = sortedPositions(
            m_tags.size(), text, true,
            [this](size_t i) {
                const std::uint32_t begin = i == 0 ? 0 : m_ends[i - 1];
                return CellView{m_tags[i], m_bytes.constData() + begin, m_ends[i] - begin};
            },
            [this](size_t i) { return m_rowids[i]; });
        if (done)
            done();
        return positions;
    });
}

Presort::~Presort()
{
    if (m_positions.valid())
        m_positions.wait(); // the thread reads this object's copy
}

std::vector<std::uint32_t> Presort::take()
{
    return m_positions.get();
}

void SortOrder::place(Row* row)
{
    const auto at = std::upper_bound(m_order.begin(), m_order.end(), row,
                                     [this](const Row* a, const Row* b) { return before(a, b); });
    m_order.insert(at, row);
}

const std::vector<Row*>& SortOrder::rows(const std::vector<Row::Ptr>& all)
{
    if (!m_whole) {
        const size_t expected = m_order.size() - m_removed.size() + m_added.size();
        // Not told of every change, or too many rows to place one by one: a new sort.
        if (expected != all.size() || m_added.size() > kFewRows)
            clear();
    }
    if (m_whole) {
        sortWhole(all);
        m_whole = false;
        return m_order;
    }
    if (!m_removed.empty()) {
        std::erase_if(m_order, [this](const Row* r) { return m_removed.count(r) > 0; });
        m_removed.clear();
    }
    for (Row* r : m_added)
        place(r);
    m_added.clear();
    return m_order;
}

} // namespace bankprep

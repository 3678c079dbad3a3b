#pragma once

#include "core/data/rowstore.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace bankprep {

// A filter text in the provider's syntax, compiled against a table's columns:
//   column op value  [AND|OR ...], parentheses, NOT, column IS [NOT] NULL
// with op one of = <> < > <= >= LIKE, and value a number, a 'quoted text' ('' for a
// quote) or NULL. A number compared with a text column compares the column's text as a
// decimal number (an account "0" matches `收款帐号 = 0`); a quoted text compares as
// text. A NULL cell matches nothing but IS NULL. LIKE takes * or % for any run of
// characters and _ for one.
class FilterExpr
{
public:
    // Resolves a column name to its stored index and tells whether it holds numbers
    // (amounts and keys) or text. Returns -1 for an unknown name.
    struct ColumnInfo
    {
        int index = -1;
        bool numeric = false;
        bool money = false;
    };
    using Resolver = std::function<ColumnInfo(QStringView name)>;

    FilterExpr();
    ~FilterExpr();
    FilterExpr(FilterExpr&&) noexcept;
    FilterExpr& operator=(FilterExpr&&) noexcept;

    // An empty or blank text compiles to "everything matches". A syntax error or an
    // unknown column throws DbError ("筛选条件“…”有误：…").
    static FilterExpr compile(const QString& text, const Resolver& resolve);

    bool isEmpty() const { return !m_root; }
    bool matches(const Row& row) const;

    struct Node;

private:
    std::unique_ptr<Node> m_root;
};

// Compares two decimal numbers given as text ("007" equals "7.0"): -1, 0 or 1, or
// nothing when either is not a plain decimal number.
std::optional<int> compareDecimalText(QByteArrayView a, QByteArrayView b);

// Shell-like match used by LIKE: * and % match any run, _ one character.
bool likeMatch(QStringView text, QStringView pattern);

} // namespace bankprep

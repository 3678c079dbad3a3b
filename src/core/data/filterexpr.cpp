#include "core/data/filterexpr.h"

#include "core/data/dberror.h"

#include <QByteArray>
#include <QList>

namespace bankprep {

struct FilterExpr::Node
{
    enum Kind
    {
        And,
        Or,
        Not,
        Compare,
        IsNull
    };
    enum Op
    {
        Eq,
        Ne,
        Lt,
        Gt,
        Le,
        Ge,
        Like
    };
    enum Lit
    {
        Number,
        Text,
        Null
    };

    Kind kind = Compare;
    std::unique_ptr<Node> a;
    std::unique_ptr<Node> b;
    ColumnInfo column;
    Op op = Eq;
    Lit lit = Text;
    QByteArray litUtf8;
    QString litText;
    bool negate = false;
};

namespace {

struct Token
{
    enum Type
    {
        End,
        Ident,
        Number,
        String,
        Op,
        LParen,
        RParen,
        Keyword
    };
    Type type = End;
    QString text;
    qsizetype pos = 0;
};

// A mistake in the filter text; FilterExpr::compile turns it into the DbError.
struct SyntaxError
{
    QString message;
};

class Lexer
{
public:
    explicit Lexer(const QString& s) : m_s(s) {}

    // The next token; throws SyntaxError.
    Token next()
    {
        while (m_i < m_s.size() && m_s.at(m_i).isSpace())
            ++m_i;
        Token t;
        t.pos = m_i;
        if (m_i >= m_s.size())
            return t; // End
        const QChar c = m_s.at(m_i);
        if (c == QLatin1Char('(') || c == QLatin1Char(')')) {
            ++m_i;
            t.type = c == QLatin1Char('(') ? Token::LParen : Token::RParen;
            return t;
        }
        if (c == QLatin1Char('\''))
            return quotedText(t);
        if (c == QLatin1Char('['))
            return bracketedName(t);
        if (c == QLatin1Char('=') || c == QLatin1Char('<') || c == QLatin1Char('>'))
            return comparison(t);
        if (startsNumber(c))
            return number(t);
        if (c.isLetter() || c == QLatin1Char('_'))
            return word(t);
        throw SyntaxError{QStringLiteral("无法识别的字符“%1”").arg(c)};
    }

private:
    // 'text', with '' for a quote inside.
    Token quotedText(Token t)
    {
        ++m_i;
        for (;;) {
            if (m_i >= m_s.size())
                throw SyntaxError{QStringLiteral("引号没有结束")};
            const QChar d = m_s.at(m_i++);
            if (d == QLatin1Char('\'')) {
                if (m_i < m_s.size() && m_s.at(m_i) == QLatin1Char('\'')) {
                    t.text += d;
                    ++m_i;
                    continue;
                }
                break;
            }
            t.text += d;
        }
        t.type = Token::String;
        return t;
    }

    // [a column name], which may hold blanks and symbols.
    Token bracketedName(Token t)
    {
        const qsizetype close = m_s.indexOf(QLatin1Char(']'), m_i + 1);
        if (close < 0)
            throw SyntaxError{QStringLiteral("方括号没有结束")};
        t.type = Token::Ident;
        t.text = m_s.mid(m_i + 1, close - m_i - 1);
        m_i = close + 1;
        return t;
    }

    // = < > <> <= >=
    Token comparison(Token t)
    {
        const QChar c = m_s.at(m_i++);
        t.text = QString(c);
        if (m_i < m_s.size()) {
            const QChar d = m_s.at(m_i);
            if ((c == QLatin1Char('<') && (d == QLatin1Char('>') || d == QLatin1Char('='))) ||
                (c == QLatin1Char('>') && d == QLatin1Char('='))) {
                t.text += d;
                ++m_i;
            }
        }
        t.type = Token::Op;
        return t;
    }

    bool startsNumber(QChar c) const
    {
        const bool sign = (c == QLatin1Char('-') || c == QLatin1Char('+'));
        return c.isDigit() || c == QLatin1Char('.') ||
               (sign && m_i + 1 < m_s.size() &&
                (m_s.at(m_i + 1).isDigit() || m_s.at(m_i + 1) == QLatin1Char('.')));
    }

    // Digits and points after an optional sign; checked as a decimal by the parser.
    Token number(Token t)
    {
        const qsizetype start = m_i;
        ++m_i;
        while (m_i < m_s.size() && (m_s.at(m_i).isDigit() || m_s.at(m_i) == QLatin1Char('.')))
            ++m_i;
        t.type = Token::Number;
        t.text = m_s.mid(start, m_i - start);
        return t;
    }

    // A column name, or one of the keywords in any letter case.
    Token word(Token t)
    {
        const qsizetype start = m_i;
        while (m_i < m_s.size() &&
               (m_s.at(m_i).isLetterOrNumber() || m_s.at(m_i) == QLatin1Char('_')))
            ++m_i;
        t.text = m_s.mid(start, m_i - start);
        static const char* const keywords[] = {"AND", "OR", "NOT", "LIKE", "IS", "NULL"};
        t.type = Token::Ident;
        for (const char* k : keywords) {
            if (t.text.compare(QLatin1String(k), Qt::CaseInsensitive) == 0) {
                t.type = Token::Keyword;
                t.text = QString::fromLatin1(k);
            }
        }
        return t;
    }

    const QString& m_s;
    qsizetype m_i = 0;
};

using NodePtr = std::unique_ptr<FilterExpr::Node>;
using Node = FilterExpr::Node;

// Recursive descent: OR of ANDs of [NOT] (parenthesised or single) comparisons.
// Throws SyntaxError.
class Parser
{
public:
    Parser(const QString& text, const FilterExpr::Resolver& resolve)
        : m_lex(text), m_resolve(resolve)
    {
    }

    NodePtr parse()
    {
        advance();
        NodePtr n = parseOr();
        if (m_tok.type != Token::End)
            fail(QStringLiteral("多余的内容“%1”").arg(m_tok.text));
        return n;
    }

private:
    void advance() { m_tok = m_lex.next(); }
    bool isKeyword(const char* k) const
    {
        return m_tok.type == Token::Keyword && m_tok.text == QLatin1String(k);
    }
    [[noreturn]] static void fail(const QString& message) { throw SyntaxError{message}; }

    static NodePtr joined(Node::Kind kind, NodePtr left, NodePtr right)
    {
        auto n = std::make_unique<Node>();
        n->kind = kind;
        n->a = std::move(left);
        n->b = std::move(right);
        return n;
    }

    NodePtr parseOr()
    {
        NodePtr left = parseAnd();
        while (isKeyword("OR")) {
            advance();
            left = joined(Node::Or, std::move(left), parseAnd());
        }
        return left;
    }

    NodePtr parseAnd()
    {
        NodePtr left = parseUnary();
        while (isKeyword("AND")) {
            advance();
            left = joined(Node::And, std::move(left), parseUnary());
        }
        return left;
    }

    // Bounds that keep compiling and evaluating (both recursive) far from the stack's end,
    // whatever text arrives.
    static constexpr int kMaxDepth = 100;
    static constexpr int kMaxComparisons = 1000;

    NodePtr parseUnary()
    {
        if (++m_depth > kMaxDepth)
            fail(QStringLiteral("条件中的括号或 NOT 嵌套太深"));
        struct Leave
        {
            int& depth;
            ~Leave() { --depth; }
        } leave{m_depth};
        if (isKeyword("NOT")) {
            advance();
            auto n = std::make_unique<Node>();
            n->kind = Node::Not;
            n->a = parseUnary();
            return n;
        }
        if (m_tok.type == Token::LParen) {
            advance();
            NodePtr inner = parseOr();
            if (m_tok.type != Token::RParen)
                fail(QStringLiteral("缺少右括号"));
            advance();
            return inner;
        }
        return parseComparison();
    }

    // column IS [NOT] NULL, or column op literal.
    NodePtr parseComparison()
    {
        if (++m_comparisons > kMaxComparisons)
            fail(QStringLiteral("条件太多（最多%1个）").arg(kMaxComparisons));
        if (m_tok.type != Token::Ident)
            fail(m_tok.type == Token::End ? QStringLiteral("条件不完整")
                                          : QStringLiteral("此处应为列名：“%1”").arg(m_tok.text));
        auto n = std::make_unique<Node>();
        n->column = m_resolve(m_tok.text);
        if (n->column.index < 0)
            fail(QStringLiteral("没有名为“%1”的列").arg(m_tok.text));
        advance();
        if (isKeyword("IS")) {
            parseIsNull(*n);
            return n;
        }
        n->kind = Node::Compare;
        n->op = parseOperator();
        advance();
        parseLiteral(*n);
        advance();
        return n;
    }

    // After the column: IS [NOT] NULL.
    void parseIsNull(Node& n)
    {
        advance();
        n.kind = Node::IsNull;
        if (isKeyword("NOT")) {
            n.negate = true;
            advance();
        }
        if (!isKeyword("NULL"))
            fail(QStringLiteral("IS 后面应为 NULL"));
        advance();
    }

    Node::Op parseOperator() const
    {
        if (isKeyword("LIKE"))
            return Node::Like;
        if (m_tok.type != Token::Op)
            fail(QStringLiteral("列名后面应为比较符"));
        static const struct
        {
            const char* text;
            Node::Op op;
        } ops[] = {
            {"=", Node::Eq}, {"<>", Node::Ne}, {"<", Node::Lt},
            {">", Node::Gt}, {"<=", Node::Le}, {">=", Node::Ge},
        };
        for (const auto& o : ops) {
            if (m_tok.text == QLatin1String(o.text))
                return o.op;
        }
        fail(QStringLiteral("无法识别的比较符“%1”").arg(m_tok.text));
    }

    // A number, a quoted text or NULL, as the operator allows.
    void parseLiteral(Node& n) const
    {
        if (m_tok.type == Token::Number) {
            n.lit = Node::Number;
            n.litText = m_tok.text;
            if (!compareDecimalText(m_tok.text.toUtf8(), QByteArrayView("0")))
                fail(QStringLiteral("数字“%1”的写法不正确").arg(m_tok.text));
        } else if (m_tok.type == Token::String) {
            n.lit = Node::Text;
            n.litText = m_tok.text;
        } else if (isKeyword("NULL")) {
            n.lit = Node::Null;
            if (n.op != Node::Eq && n.op != Node::Ne)
                fail(QStringLiteral("NULL 只能用 = 或 <> 比较"));
        } else {
            fail(QStringLiteral("比较符后面应为数字或带引号的文字"));
        }
        if (n.op == Node::Like && n.lit != Node::Text)
            fail(QStringLiteral("LIKE 后面应为带引号的文字"));
        n.litUtf8 = n.litText.toUtf8();
    }

    Lexer m_lex;
    const FilterExpr::Resolver& m_resolve;
    Token m_tok;
    int m_depth = 0;
    int m_comparisons = 0;
};

QByteArrayView trimmed(QByteArrayView v)
{
    qsizetype b = 0;
    qsizetype e = v.size();
    while (b < e && (v[b] == ' ' || v[b] == '\t'))
        ++b;
    while (e > b && (v[e - 1] == ' ' || v[e - 1] == '\t'))
        --e;
    return v.sliced(b, e - b);
}

struct Decimal
{
    bool negative = false;
    QByteArrayView whole; // without leading zeros
    QByteArrayView frac;  // without trailing zeros
};

bool parseDecimal(QByteArrayView v, Decimal* d)
{
    v = trimmed(v);
    if (v.isEmpty())
        return false;
    qsizetype i = 0;
    if (v[0] == '+' || v[0] == '-') {
        d->negative = v[0] == '-';
        ++i;
    }
    const qsizetype wholeStart = i;
    while (i < v.size() && v[i] >= '0' && v[i] <= '9')
        ++i;
    qsizetype wholeEnd = i;
    qsizetype fracStart = i;
    qsizetype fracEnd = i;
    if (i < v.size() && v[i] == '.') {
        ++i;
        fracStart = i;
        while (i < v.size() && v[i] >= '0' && v[i] <= '9')
            ++i;
        fracEnd = i;
    }
    if (i != v.size() || (wholeEnd == wholeStart && fracEnd == fracStart))
        return false;
    qsizetype ws = wholeStart;
    while (ws < wholeEnd && v[ws] == '0')
        ++ws;
    while (fracEnd > fracStart && v[fracEnd - 1] == '0')
        --fracEnd;
    d->whole = v.sliced(ws, wholeEnd - ws);
    d->frac = v.sliced(fracStart, fracEnd - fracStart);
    if (d->whole.isEmpty() && d->frac.isEmpty())
        d->negative = false; // -0 equals 0
    return true;
}

int compareBytes(QByteArrayView a, QByteArrayView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const int c = n ? std::memcmp(a.data(), b.data(), size_t(n)) : 0;
    if (c != 0)
        return c < 0 ? -1 : 1;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool applyOp(Node::Op op, int cmp)
{
    switch (op) {
    case Node::Eq:
        return cmp == 0;
    case Node::Ne:
        return cmp != 0;
    case Node::Lt:
        return cmp < 0;
    case Node::Gt:
        return cmp > 0;
    case Node::Le:
        return cmp <= 0;
    case Node::Ge:
        return cmp >= 0;
    case Node::Like:
        break;
    }
    return false;
}

// The cell's value as text bytes; numbers are written out in `buffer`.
QByteArrayView cellBytes(const CellView& cell, bool money, QByteArray* buffer)
{
    switch (cell.tag) {
    case CellTag::Text:
        return QByteArrayView(cell.data, cell.size);
    case CellTag::Int:
        *buffer = money ? Money::fromUnits(cell.toInt()).toString().toLatin1()
                        : QByteArray::number(qlonglong(cell.toInt()));
        return *buffer;
    case CellTag::Real:
        *buffer = QByteArray::number(cell.toReal(), 'g', 17);
        return *buffer;
    case CellTag::Null:
        break;
    }
    return {};
}

bool evaluate(const Node& n, const Row& row)
{
    switch (n.kind) {
    case Node::And:
        return evaluate(*n.a, row) && evaluate(*n.b, row);
    case Node::Or:
        return evaluate(*n.a, row) || evaluate(*n.b, row);
    case Node::Not:
        return !evaluate(*n.a, row);
    case Node::IsNull:
        return row.cell(std::uint32_t(n.column.index)).isNull() != n.negate;
    case Node::Compare:
        break;
    }
    const CellView cell = row.cell(std::uint32_t(n.column.index));
    if (n.lit == Node::Null)
        return (n.op == Node::Eq) == cell.isNull();
    if (cell.isNull())
        return false;
    QByteArray buffer;
    const QByteArrayView bytes = cellBytes(cell, n.column.money, &buffer);
    if (n.op == Node::Like)
        return likeMatch(QString::fromUtf8(bytes), n.litText);
    if (n.lit == Node::Number || n.column.numeric) {
        if (const auto cmp = compareDecimalText(bytes, n.litUtf8))
            return applyOp(n.op, *cmp);
        if (n.lit == Node::Number)
            return false; // a text that is not a number equals no number
    }
    return applyOp(n.op, compareBytes(bytes, n.litUtf8));
}

bool isWildcard(QChar c)
{
    return c == QLatin1Char('*') || c == QLatin1Char('%');
}

} // namespace

// Wildcards "*" or "%" (any run) and "_" (one character). Greedy with one remembered
// star: at most text length times pattern length steps, never exponential.
bool likeMatch(QStringView t, QStringView p)
{
    qsizetype ti = 0;
    qsizetype pi = 0;
    qsizetype star = -1;
    qsizetype resume = 0;
    while (ti < t.size()) {
        if (pi < p.size() && isWildcard(p.at(pi))) {
            star = pi++;
            resume = ti;
        } else if (pi < p.size() && (p.at(pi) == QLatin1Char('_') || p.at(pi) == t.at(ti))) {
            ++pi;
            ++ti;
        } else if (star >= 0) {
            pi = star + 1;
            ti = ++resume;
        } else {
            return false;
        }
    }
    while (pi < p.size() && isWildcard(p.at(pi)))
        ++pi;
    return pi == p.size();
}

std::optional<int> compareDecimalText(QByteArrayView a, QByteArrayView b)
{
    Decimal x;
    Decimal y;
    if (!parseDecimal(a, &x) || !parseDecimal(b, &y))
        return std::nullopt;
    if (x.negative != y.negative)
        return x.negative ? -1 : 1;
    int mag = 0;
    if (x.whole.size() != y.whole.size())
        mag = x.whole.size() < y.whole.size() ? -1 : 1;
    else if (int c = compareBytes(x.whole, y.whole); c != 0)
        mag = c;
    else
        mag = compareBytes(x.frac, y.frac);
    return x.negative ? -mag : mag;
}

FilterExpr::FilterExpr() = default;
FilterExpr::~FilterExpr() = default;
FilterExpr::FilterExpr(FilterExpr&&) noexcept = default;
FilterExpr& FilterExpr::operator=(FilterExpr&&) noexcept = default;

FilterExpr FilterExpr::compile(const QString& text, const Resolver& resolve)
{
    FilterExpr out;
    if (text.trimmed().isEmpty())
        return out;
    try {
        out.m_root = Parser(text, resolve).parse();
    } catch (const SyntaxError& e) {
        throw DbError(QStringLiteral("筛选条件“%1”有误：%2").arg(text, e.message));
    }
    return out;
}

bool FilterExpr::matches(const Row& row) const
{
    return !m_root || evaluate(*m_root, row);
}

} // namespace bankprep

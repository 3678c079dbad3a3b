#include "core/data/money.h"

#include <algorithm>
#include <limits>

namespace bankprep {

namespace {

inline int code(char c)
{
    return static_cast<unsigned char>(c);
}
inline int code(QChar c)
{
    return c.unicode();
}

template <typename Char> std::optional<Money> parseDigits(const Char* p, const Char* end)
{
    auto isBlank = [](Char c) { return code(c) == ' ' || code(c) == '\t'; };
    while (p != end && isBlank(*p))
        ++p;
    while (end != p && isBlank(*(end - 1)))
        --end;
    if (p == end)
        return std::nullopt;

    bool negative = false;
    if (code(*p) == '+' || code(*p) == '-') {
        negative = (code(*p) == '-');
        ++p;
    }
    // Accumulate as a negative number so that the most negative value fits.
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t acc = 0;
    int intDigits = 0;
    int fracDigits = 0;
    bool seenPoint = false;
    for (; p != end; ++p) {
        const int c = code(*p);
        if (c == '.') {
            if (seenPoint)
                return std::nullopt;
            seenPoint = true;
            continue;
        }
        if (c < '0' || c > '9')
            return std::nullopt;
        if (seenPoint) {
            if (++fracDigits > Money::kScale)
                return std::nullopt;
        } else {
            ++intDigits;
        }
        const int digit = c - '0';
        if (acc < (kMin + digit) / 10)
            return std::nullopt;
        acc = acc * 10 - digit;
    }
    if (intDigits == 0 && fracDigits == 0)
        return std::nullopt;
    for (int i = fracDigits; i < Money::kScale; ++i) {
        if (acc < kMin / 10)
            return std::nullopt;
        acc *= 10;
    }
    if (!negative) {
        if (acc == kMin)
            return std::nullopt;
        acc = -acc;
    }
    return Money::fromUnits(acc);
}

} // namespace

std::optional<Money> Money::parse(QStringView text)
{
    return parseDigits(text.data(), text.data() + text.size());
}

std::optional<Money> Money::parse(const char* utf8, std::size_t len)
{
    return parseDigits(utf8, utf8 + len);
}

std::optional<Money> Money::parseRounded(QStringView text)
{
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    qsizetype end = text.size();
    while (end > 0 &&
           (text.at(end - 1) == QLatin1Char(' ') || text.at(end - 1) == QLatin1Char('\t')))
        --end;
    if (point < 0 || end - point - 1 <= kScale)
        return parse(text);
    // Keep four decimals; the rest decides the rounding.
    const QStringView rest = text.mid(point + 1 + kScale, end - point - 1 - kScale);
    for (const QChar c : rest) {
        if (!c.isDigit() || c.unicode() > '9')
            return std::nullopt;
    }
    std::optional<Money> kept = parse(text.left(point + 1 + kScale));
    if (!kept)
        return std::nullopt;
    const int first = rest.at(0).unicode() - '0';
    bool beyondHalf = first > 5;
    if (first == 5) {
        for (qsizetype i = 1; i < rest.size() && !beyondHalf; ++i)
            beyondHalf = rest.at(i) != QLatin1Char('0');
    }
    const bool half = first == 5 && !beyondHalf;
    const bool odd = (kept->units() % 2) != 0;
    if (!(beyondHalf || (half && odd)))
        return kept;
    const bool negative = text.trimmed().startsWith(QLatin1Char('-'));
    return negative ? kept->minus(fromUnits(1)) : kept->plus(fromUnits(1));
}

std::optional<Money> Money::parseNumber(QStringView text)
{
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && (text.at(b) == QLatin1Char(' ') || text.at(b) == QLatin1Char('\t')))
        ++b;
    while (e > b && (text.at(e - 1) == QLatin1Char(' ') || text.at(e - 1) == QLatin1Char('\t')))
        --e;
    const QStringView t = text.sliced(b, e - b);
    const qsizetype mark = std::max(t.indexOf(QLatin1Char('e')), t.indexOf(QLatin1Char('E')));
    if (mark < 0)
        return parseRounded(t);
    // Mantissa and exponent; the point moves by the exponent, exactly, in the text.
    QStringView mantissa = t.left(mark);
    const QStringView exponentText = t.sliced(mark + 1);
    bool ok = false;
    const int exponent = exponentText.toInt(&ok);
    if (!ok || exponentText.isEmpty() || exponentText.front() == QLatin1Char(' ') ||
        exponent > 40 || exponent < -400)
        return exponent < -400 && ok ? std::optional<Money>(Money()) : std::nullopt;
    QString sign;
    if (!mantissa.isEmpty() &&
        (mantissa.front() == QLatin1Char('-') || mantissa.front() == QLatin1Char('+'))) {
        sign = mantissa.front() == QLatin1Char('-') ? QStringLiteral("-") : QString();
        mantissa = mantissa.sliced(1);
    }
    const qsizetype point = mantissa.indexOf(QLatin1Char('.'));
    QString digits = mantissa.toString();
    if (point >= 0)
        digits.remove(point, 1);
    if (digits.isEmpty())
        return std::nullopt;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    const qsizetype newPoint = (point >= 0 ? point : mantissa.size()) + exponent;
    QString plain;
    if (newPoint <= 0)
        plain = QStringLiteral("0.") + QString(-newPoint, QLatin1Char('0')) + digits;
    else if (newPoint >= digits.size())
        plain = digits + QString(newPoint - digits.size(), QLatin1Char('0'));
    else
        plain = digits.left(newPoint) + QLatin1Char('.') + digits.mid(newPoint);
    return parseRounded(sign + plain);
}

QString Money::toString() const
{
    // Work on the magnitude as unsigned so that the most negative value is exact.
    const bool negative = m_units < 0;
    std::uint64_t mag =
        negative ? std::uint64_t(0) - std::uint64_t(m_units) : std::uint64_t(m_units);
    const std::uint64_t whole = mag / kUnit;
    std::uint64_t frac = mag % kUnit;
    QString out;
    if (negative)
        out += QLatin1Char('-');
    out += QString::number(whole);
    if (frac != 0) {
        int digits = kScale;
        while (frac % 10 == 0) {
            frac /= 10;
            --digits;
        }
        out += QLatin1Char('.');
        out += QString::number(frac).rightJustified(digits, QLatin1Char('0'));
    }
    return out;
}

QString Money::toDisplayString() const
{
    const bool negative = m_units < 0;
    const std::uint64_t mag =
        negative ? std::uint64_t(0) - std::uint64_t(m_units) : std::uint64_t(m_units);
    const QString whole = QString::number(mag / kUnit);
    QString grouped;
    for (qsizetype i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0)
            grouped += QLatin1Char(',');
        grouped += whole.at(i);
    }
    QString frac = QString::number(mag % kUnit).rightJustified(kScale, QLatin1Char('0'));
    while (frac.size() > 2 && frac.endsWith(QLatin1Char('0')))
        frac.chop(1);
    return (negative ? QStringLiteral("-") : QString()) + grouped + QLatin1Char('.') + frac;
}

std::optional<Money> Money::plus(Money other) const
{
    std::int64_t r;
    if (__builtin_add_overflow(m_units, other.m_units, &r))
        return std::nullopt;
    return fromUnits(r);
}

std::optional<Money> Money::minus(Money other) const
{
    std::int64_t r;
    if (__builtin_sub_overflow(m_units, other.m_units, &r))
        return std::nullopt;
    return fromUnits(r);
}

} // namespace bankprep

namespace bankprep {

QString Money::toChineseCapitals() const
{
    static const QString digits = QStringLiteral("零壹贰叁肆伍陆柒捌玖");
    static const QString places[] = {QString(), QStringLiteral("拾"), QStringLiteral("佰"),
                                     QStringLiteral("仟")};
    static const QString groups[] = {QString(), QStringLiteral("万"), QStringLiteral("亿"),
                                     QStringLiteral("万亿")};
    // Magnitude without overflow for the most negative amount.
    const std::uint64_t magnitude =
        m_units < 0 ? std::uint64_t(-(m_units + 1)) + 1 : std::uint64_t(m_units);
    const std::uint64_t yuan = magnitude / std::uint64_t(kUnit);
    const int fraction = int(magnitude % std::uint64_t(kUnit));

    QString out;
    if (m_units < 0)
        out += QStringLiteral("负");
    const bool hasYuan = yuan != 0;
    if (hasYuan) {
        const QByteArray s = QByteArray::number(qulonglong(yuan));
        bool zeroPending = false;
        bool groupHasDigit = false;
        for (qsizetype i = 0; i < s.size(); ++i) {
            const int d = s.at(i) - '0';
            const qsizetype pos = s.size() - 1 - i;
            if (d == 0) {
                zeroPending = true;
            } else {
                if (zeroPending) // never before the first digit: it is not 0
                    out += QStringLiteral("零");
                zeroPending = false;
                out += digits.at(d);
                out += places[pos % 4];
                groupHasDigit = true;
            }
            if (pos % 4 == 0) {
                if (groupHasDigit)
                    out += groups[std::min<qsizetype>(pos / 4, 3)];
                groupHasDigit = false;
            }
        }
        out += QStringLiteral("元");
    }
    // 角, 分, 厘, 毫: a zero between written digits is read as one 零; a zero in the
    // units of yuan before 角 is not written.
    static const QString fractionPlaces[] = {QStringLiteral("角"), QStringLiteral("分"),
                                             QStringLiteral("厘"), QStringLiteral("毫")};
    const int fd[] = {fraction / 1000, fraction / 100 % 10, fraction / 10 % 10, fraction % 10};
    bool written = hasYuan;
    bool zeroPending = false;
    int last = -1;
    for (int i = 0; i < 4; ++i) {
        if (fd[i] == 0) {
            zeroPending = written;
            continue;
        }
        if (zeroPending)
            out += QStringLiteral("零");
        zeroPending = false;
        out += digits.at(fd[i]);
        out += fractionPlaces[i];
        written = true;
        last = i;
    }
    if (!hasYuan && last < 0)
        return QStringLiteral("零元整");
    if (last <= 0)
        out += QStringLiteral("整");
    return out;
}

} // namespace bankprep

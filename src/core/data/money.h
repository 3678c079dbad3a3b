#pragma once

#include <QMetaType>
#include <QString>
#include <cstdint>
#include <optional>

namespace bankprep {

// An exact amount of money: a signed count of ten-thousandths (four decimal places,
// up to 19 significant digits). Never converted through a double.
class Money
{
public:
    static constexpr int kScale = 4;
    static constexpr std::int64_t kUnit = 10000;

    constexpr Money() = default;
    static constexpr Money fromUnits(std::int64_t tenThousandths)
    {
        Money m;
        m.m_units = tenThousandths;
        return m;
    }

    // Parses a plain decimal number: optional sign, digits, optional "." and at most
    // four decimals. No grouping, no exponent, no blanks inside. Leading and trailing
    // blanks are ignored. Returns nothing for anything else or when out of range.
    static std::optional<Money> parse(QStringView text);
    static std::optional<Money> parse(const char* utf8, std::size_t len);
    // The same, but more than four decimals are rounded to four, half to even, as the
    // platform's currency conversion does (329.34825 gives 329.3482, 0.00005 gives 0).
    static std::optional<Money> parseRounded(QStringView text);
    // A number as the platform's floating-point conversion writes and reads it: also
    // with an exponent ("1e3", "1.5E-2"), converted exactly, then rounded as
    // parseRounded does. No grouping.
    static std::optional<Money> parseNumber(QStringView text);

    constexpr std::int64_t units() const { return m_units; }

    // Shortest exact decimal form: 1500.50 -> "1500.5", 20000 -> "20000", 0.25 -> "0.25".
    QString toString() const;
    // As the Chinese locale's currency format shows amounts: thousands grouped, at least
    // two decimals, and the third and fourth when the amount has them (never rounded
    // away): 15000.5 -> "15,000.50", 1234.5678 -> "1,234.5678", -3 -> "-3.00".
    QString toDisplayString() const;
    // The amount in Chinese capitals as cheques and bank forms write it (人民币大写):
    // 1500.5 -> "壹仟伍佰元伍角整", 0.05 -> "伍分", 10 -> "壹拾元整",
    // 100000010.01 -> "壹亿零壹拾元零壹分". Third and fourth decimals are written as 厘 and
    // 毫, never rounded away; a negative amount begins with "负".
    QString toChineseCapitals() const;

    // Checked arithmetic: nothing on overflow.
    std::optional<Money> plus(Money other) const;
    std::optional<Money> minus(Money other) const;

    friend constexpr bool operator==(Money a, Money b) = default;
    friend constexpr auto operator<=>(Money a, Money b) = default;

private:
    std::int64_t m_units = 0;
};

} // namespace bankprep

Q_DECLARE_METATYPE(bankprep::Money)

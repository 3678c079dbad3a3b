#include "core/data/money.h"
#include "core/import/salaryimport.h"

#include <QTest>
#include <limits>

using bankprep::Money;

namespace {

constexpr qint64 kMax = std::numeric_limits<qint64>::max();
constexpr qint64 kMin = std::numeric_limits<qint64>::min();

std::optional<Money> parseUtf8(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return Money::parse(utf8.constData(), std::size_t(utf8.size()));
}

} // namespace

class TestMoney : public QObject
{
    Q_OBJECT

private slots:
    void parseValid_data();
    void parseValid();
    void parseInvalid_data();
    void parseInvalid();
    void utf8LengthIsHonoured();
    void toString_data();
    void toString();
    void extremes_data();
    void extremes();
    void roundTrip_data();
    void roundTrip();
    void checkedArithmetic_data();
    void checkedArithmetic();
    void roundedToFourDecimals();
    void chineseCapitals();
    void cardNumbers();
};

void TestMoney::parseValid_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("units");

    QTest::newRow("1500.50") << QStringLiteral("1500.50") << qint64(15005000);
    QTest::newRow("20000") << QStringLiteral("20000") << qint64(200000000);
    QTest::newRow("0.25") << QStringLiteral("0.25") << qint64(2500);
    QTest::newRow("-0.25") << QStringLiteral("-0.25") << qint64(-2500);
    QTest::newRow("+3") << QStringLiteral("+3") << qint64(30000);
    QTest::newRow(".5") << QStringLiteral(".5") << qint64(5000);
    QTest::newRow("5.") << QStringLiteral("5.") << qint64(50000);
    QTest::newRow("blanks around") << QStringLiteral("  12.3  ") << qint64(123000);
    QTest::newRow("tabs around") << QStringLiteral("\t7\t") << qint64(70000);
    QTest::newRow("0.0001") << QStringLiteral("0.0001") << qint64(1);
    QTest::newRow("-0.0001") << QStringLiteral("-0.0001") << qint64(-1);
    QTest::newRow("0") << QStringLiteral("0") << qint64(0);
    QTest::newRow("-0") << QStringLiteral("-0") << qint64(0);
    QTest::newRow("leading and trailing zeros") << QStringLiteral("0001.1000") << qint64(11000);
    QTest::newRow("four decimals") << QStringLiteral("12345.6789") << qint64(123456789);
    QTest::newRow("max") << QStringLiteral("922337203685477.5807") << kMax;
    QTest::newRow("min") << QStringLiteral("-922337203685477.5808") << kMin;
    QTest::newRow("max whole") << QStringLiteral("922337203685477") << qint64(9223372036854770000);
}

void TestMoney::parseValid()
{
    QFETCH(QString, text);
    QFETCH(qint64, units);

    const std::optional<Money> fromView = Money::parse(text);
    QVERIFY2(fromView.has_value(), qPrintable(text));
    QCOMPARE(fromView->units(), units);

    const std::optional<Money> fromUtf8 = parseUtf8(text);
    QVERIFY2(fromUtf8.has_value(), qPrintable(text));
    QCOMPARE(fromUtf8->units(), units);
}

void TestMoney::parseInvalid_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QString();
    QTest::newRow("blank") << QStringLiteral(" ");
    QTest::newRow("tab") << QStringLiteral("\t");
    QTest::newRow("grouping") << QStringLiteral("1,000");
    QTest::newRow("exponent") << QStringLiteral("1e5");
    QTest::newRow("letters") << QStringLiteral("abc");
    QTest::newRow("five decimals") << QStringLiteral("1.00001");
    QTest::newRow("five decimals zero") << QStringLiteral("1.00000");
    QTest::newRow("double sign") << QStringLiteral("--1");
    QTest::newRow("plus minus") << QStringLiteral("+-1");
    QTest::newRow("two points") << QStringLiteral("1.2.3");
    QTest::newRow("full-width digits") << QStringLiteral("１２");
    QTest::newRow("blank inside") << QStringLiteral("12 3");
    QTest::newRow("blank after sign") << QStringLiteral("- 1");
    QTest::newRow("sign only") << QStringLiteral("-");
    QTest::newRow("point only") << QStringLiteral(".");
    QTest::newRow("sign and point") << QStringLiteral("-.");
    QTest::newRow("hex") << QStringLiteral("0x10");
    QTest::newRow("trailing sign") << QStringLiteral("5-");
    QTest::newRow("currency") << QStringLiteral("¥5");
    QTest::newRow("above max") << QStringLiteral("922337203685477.5808");
    QTest::newRow("below min") << QStringLiteral("-922337203685477.5809");
    QTest::newRow("whole too large") << QStringLiteral("922337203685478");
    QTest::newRow("far too large") << QStringLiteral("99999999999999999999999");
    QTest::newRow("far too small") << QStringLiteral("-99999999999999999999999.9999");
}

void TestMoney::parseInvalid()
{
    QFETCH(QString, text);

    const std::optional<Money> fromView = Money::parse(text);
    QVERIFY2(!fromView.has_value(), qPrintable(fromView ? fromView->toString() : QString()));
    const std::optional<Money> fromUtf8 = parseUtf8(text);
    QVERIFY2(!fromUtf8.has_value(), qPrintable(fromUtf8 ? fromUtf8->toString() : QString()));
}

void TestMoney::utf8LengthIsHonoured()
{
    // The byte overload reads exactly `len` bytes, not up to a terminator.
    const char text[] = "123.4567";
    const std::optional<Money> part = Money::parse(text, 2);
    QVERIFY(part.has_value());
    QCOMPARE(part->units(), qint64(120000));

    const std::optional<Money> withFraction = Money::parse(text, 6);
    QVERIFY(withFraction.has_value());
    QCOMPARE(withFraction->units(), qint64(1234500));

    QVERIFY(!Money::parse(text, 0).has_value());

    // An embedded terminator inside the given length is not a digit.
    const char withNul[] = "12\0";
    QVERIFY(!Money::parse(withNul, 3).has_value());
}

void TestMoney::toString_data()
{
    QTest::addColumn<qint64>("units");
    QTest::addColumn<QString>("text");

    QTest::newRow("1500.50") << qint64(15005000) << QStringLiteral("1500.5");
    QTest::newRow("20000") << qint64(200000000) << QStringLiteral("20000");
    QTest::newRow("0.25") << qint64(2500) << QStringLiteral("0.25");
    QTest::newRow("0.0001") << qint64(1) << QStringLiteral("0.0001");
    QTest::newRow("-0.5") << qint64(-5000) << QStringLiteral("-0.5");
    QTest::newRow("0") << qint64(0) << QStringLiteral("0");
    QTest::newRow("-0.0001") << qint64(-1) << QStringLiteral("-0.0001");
    QTest::newRow("0.001") << qint64(10) << QStringLiteral("0.001");
    QTest::newRow("0.0101") << qint64(101) << QStringLiteral("0.0101");
    QTest::newRow("1") << qint64(10000) << QStringLiteral("1");
    QTest::newRow("-10") << qint64(-100000) << QStringLiteral("-10");
    QTest::newRow("10.01") << qint64(100100) << QStringLiteral("10.01");
    QTest::newRow("12345.6789") << qint64(123456789) << QStringLiteral("12345.6789");
    QTest::newRow("max") << kMax << QStringLiteral("922337203685477.5807");
    QTest::newRow("min") << kMin << QStringLiteral("-922337203685477.5808");
}

void TestMoney::toString()
{
    QFETCH(qint64, units);
    QFETCH(QString, text);

    QCOMPARE(Money::fromUnits(units).toString(), text);
}

void TestMoney::extremes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("units");

    QTest::newRow("max") << QStringLiteral("922337203685477.5807") << kMax;
    QTest::newRow("min") << QStringLiteral("-922337203685477.5808") << kMin;
    QTest::newRow("max - 1") << QStringLiteral("922337203685477.5806") << kMax - 1;
    QTest::newRow("min + 1") << QStringLiteral("-922337203685477.5807") << kMin + 1;
}

void TestMoney::extremes()
{
    QFETCH(QString, text);
    QFETCH(qint64, units);

    // These values have 19 significant digits: anything going through a double would
    // lose the last ones.
    const std::optional<Money> m = Money::parse(text);
    QVERIFY(m.has_value());
    QCOMPARE(m->units(), units);
    QCOMPARE(m->toString(), text);
    QCOMPARE(Money::fromUnits(units).toString(), text);

    const std::optional<Money> fromUtf8 = parseUtf8(text);
    QVERIFY(fromUtf8.has_value());
    QCOMPARE(*fromUtf8, *m);
}

void TestMoney::roundTrip_data()
{
    QTest::addColumn<qint64>("units");

    const qint64 values[] = {0,
                             1,
                             -1,
                             9,
                             10,
                             100,
                             1000,
                             9999,
                             10000,
                             10001,
                             -10001,
                             2500,
                             15005000,
                             200000000,
                             123456789,
                             -123456789,
                             1000000000000,
                             4503599627370497, // 2^52 + 1: not representable as a double
                             9007199254740993, // 2^53 + 1
                             -9007199254740993,
                             kMax,
                             kMax - 1,
                             kMin,
                             kMin + 1,
                             kMax / 10000 * 10000,
                             kMin / 10000 * 10000};
    for (const qint64 v : values)
        QTest::addRow("%lld", static_cast<long long>(v)) << v;
}

void TestMoney::roundTrip()
{
    QFETCH(qint64, units);

    const Money m = Money::fromUnits(units);
    const QString text = m.toString();

    const std::optional<Money> back = Money::parse(text);
    QVERIFY2(back.has_value(), qPrintable(text));
    QCOMPARE(*back, m);
    const std::optional<Money> backUtf8 = parseUtf8(text);
    QVERIFY2(backUtf8.has_value(), qPrintable(text));
    QCOMPARE(*backUtf8, m);

    // The text form is the shortest one: no trailing zeros after a point, no dangling
    // point, no redundant leading zero, no plus sign, no blanks.
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    if (point >= 0) {
        QVERIFY2(!text.endsWith(QLatin1Char('0')), qPrintable(text));
        QVERIFY2(point + 1 < text.size(), qPrintable(text));
        QVERIFY2(text.size() - point - 1 <= Money::kScale, qPrintable(text));
    }
    const QString digits = text.startsWith(QLatin1Char('-')) ? text.mid(1) : text;
    QVERIFY2(!digits.isEmpty() && digits.at(0).isDigit(), qPrintable(text));
    if (digits.size() > 1 && digits.at(0) == QLatin1Char('0'))
        QCOMPARE(digits.at(1), QLatin1Char('.'));
    QVERIFY2(!text.contains(QLatin1Char(' ')), qPrintable(text));
    QVERIFY2(!text.contains(QLatin1Char('+')), qPrintable(text));
    QCOMPARE(text.startsWith(QLatin1Char('-')), units < 0);
}

void TestMoney::checkedArithmetic_data()
{
    QTest::addColumn<qint64>("a");
    QTest::addColumn<qint64>("b");
    QTest::addColumn<bool>("subtract");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint64>("result");

    QTest::newRow("plus") << qint64(15005000) << qint64(2500) << false << true << qint64(15007500);
    QTest::newRow("plus negative")
        << qint64(2500) << qint64(-5000) << false << true << qint64(-2500);
    QTest::newRow("minus") << qint64(15005000) << qint64(5000) << true << true << qint64(15000000);
    QTest::newRow("minus to negative") << qint64(1) << qint64(2) << true << true << qint64(-1);
    QTest::newRow("plus reaches max") << kMax - 1 << qint64(1) << false << true << kMax;
    QTest::newRow("plus reaches min") << kMin + 1 << qint64(-1) << false << true << kMin;
    QTest::newRow("minus reaches max") << kMax - 1 << qint64(-1) << true << true << kMax;
    QTest::newRow("minus reaches min") << kMin + 1 << qint64(1) << true << true << kMin;
    QTest::newRow("max + min") << kMax << kMin << false << true << qint64(-1);
    QTest::newRow("plus over max") << kMax << qint64(1) << false << false << qint64(0);
    QTest::newRow("plus under min") << kMin << qint64(-1) << false << false << qint64(0);
    QTest::newRow("max + max") << kMax << kMax << false << false << qint64(0);
    QTest::newRow("min + min") << kMin << kMin << false << false << qint64(0);
    QTest::newRow("minus over max") << kMax << qint64(-1) << true << false << qint64(0);
    QTest::newRow("minus under min") << kMin << qint64(1) << true << false << qint64(0);
    QTest::newRow("0 - min") << qint64(0) << kMin << true << false << qint64(0);
    QTest::newRow("-1 - min") << qint64(-1) << kMin << true << true << kMax;
    QTest::newRow("min - max") << kMin << kMax << true << false << qint64(0);
}

void TestMoney::checkedArithmetic()
{
    QFETCH(qint64, a);
    QFETCH(qint64, b);
    QFETCH(bool, subtract);
    QFETCH(bool, ok);
    QFETCH(qint64, result);

    const Money x = Money::fromUnits(a);
    const Money y = Money::fromUnits(b);
    const std::optional<Money> r = subtract ? x.minus(y) : x.plus(y);
    QCOMPARE(r.has_value(), ok);
    if (ok)
        QCOMPARE(r->units(), result);
    // The operands themselves are left alone.
    QCOMPARE(x.units(), a);
    QCOMPARE(y.units(), b);
}

// More than four decimals, as the currency conversion rounds them: half to even.
void TestMoney::roundedToFourDecimals()
{
    const QList<QPair<const char*, qint64>> cases = {
        {"329.34825", 3293482}, {"329.34835", 3293484}, {"1.00005", 10000},
        {"1.000051", 10001},    {"-2.00015", -20002},   {"24030.9523809524", 240309524},
        {"0.00004999", 0},      {" 12.5 ", 125000},     {"7", 70000}};
    for (const auto& [text, units] : cases) {
        const auto m = Money::parseRounded(QString::fromLatin1(text));
        QVERIFY2(m && m->units() == units, text);
    }
    for (const char* bad : {"", "abc", "1.2345x", "1.23456.7", "1e5"})
        QVERIFY2(!Money::parseRounded(QString::fromLatin1(bad)), bad);

    // With an exponent, as the platform's number conversion reads it, exactly.
    const QList<QPair<const char*, qint64>> numbers = {
        {"1e3", 10000000}, {"1.5E-2", 150},      {"-2.5e1", -250000},     {" 12E0 ", 120000},
        {"1e-5", 0},       {"6.00005e0", 60000}, {"0.000123456e4", 12346}};
    for (const auto& [text, units] : numbers) {
        const auto m = Money::parseNumber(QString::fromLatin1(text));
        QVERIFY2(m && m->units() == units, text);
    }
    for (const char* bad : {"1,000", "1e", "e3", "1e3.5", "1e+", "1e99"})
        QVERIFY2(!Money::parseNumber(QString::fromLatin1(bad)), bad);

    // Shown in the currency format, never rounding a digit away.
    const QList<QPair<qint64, const char*>> shown = {{150005000, "15,000.50"},
                                                     {12345678, "1,234.5678"},
                                                     {-30000, "-3.00"},
                                                     {0, "0.00"},
                                                     {10000000000, "1,000,000.00"}};
    for (const auto& [units, text] : shown)
        QCOMPARE(Money::fromUnits(units).toDisplayString(), QString::fromLatin1(text));
}

void TestMoney::chineseCapitals()
{
    // As cheques write them: one 零 for a run of zeros, none for a zero 元 before 角,
    // 整 after 元 or 角, never after 分.
    const QList<QPair<qint64, const char*>> known = {
        {500, "伍分"},
        {100000, "壹拾元整"},
        {1000000100100, "壹亿零壹拾元零壹分"},
        {15005000, "壹仟伍佰元伍角整"},
        {0, "零元整"},
        {164090200, "壹万陆仟肆佰零玖元零贰分"},
        {16803200, "壹仟陆佰捌拾元叁角贰分"},
        {1070005300, "壹拾万零柒仟元伍角叁分"},
        {1000000000000, "壹亿元整"},
        {10001000000, "壹佰万零壹佰元整"},
        {12345, "壹元贰角叁分肆厘伍毫"},
        {-30000, "负叁元整"},
        {kMax, "玖佰贰拾贰万亿叁仟叁佰柒拾贰亿零叁佰陆拾捌万伍仟肆佰柒拾柒元伍角捌分零柒毫"},
    };
    for (const auto& [units, text] : known)
        QCOMPARE(Money::fromUnits(units).toChineseCapitals(), QString::fromUtf8(text));
    QVERIFY(
        Money::fromUnits(kMin).toChineseCapitals().startsWith(QStringLiteral("负玖佰贰拾贰万亿")));
}

void TestMoney::cardNumbers()
{
    using bankprep::cardNumberProblem;
    QCOMPARE(cardNumberProblem(u"4111111111111111"), QString()); // a test Visa number
    QCOMPARE(cardNumberProblem(u"6212262502009182455"), QString());
    QCOMPARE(cardNumberProblem(u"4111111111111112"), QStringLiteral("的校验位不正确"));
    QCOMPARE(cardNumberProblem(u"411111111111111"), QStringLiteral("不是16至19位数字"));
    QCOMPARE(cardNumberProblem(u"41111111111111111111"), QStringLiteral("不是16至19位数字"));
    QCOMPARE(cardNumberProblem(u"4111 1111 1111 1111"), QStringLiteral("不是16至19位数字"));
    QCOMPARE(cardNumberProblem(u""), QStringLiteral("不是16至19位数字"));
}

QTEST_GUILESS_MAIN(TestMoney)
#include "tst_money.moc"

#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

namespace bankprep {

// The text cut to at most `maxBytes` bytes of its GBK form, never in the middle of a
// character. A character GBK cannot encode counts as two bytes.
QString truncateToGbkBytes(const QString& text, int maxBytes);

// Strict GBK encoding for the bank's files: a character GBK cannot represent is an
// error, never a silent "?". The mapping is the platform converter's, tabulated once so
// that a million rows encode quickly.
class GbkEncoder
{
public:
    static const GbkEncoder& instance();

    // Appends the GBK form of UTF-8 text (or of a string). Returns false, appending
    // nothing, when a character has no GBK form or the UTF-8 is malformed.
    bool appendUtf8(QByteArray& out, const char* utf8, qsizetype size) const;
    bool append(QByteArray& out, QStringView text) const;
    // The first character without a GBK form, or a null QChar.
    static QString firstUnencodable(QStringView text);

    // Decodes GBK bytes strictly, appending to `out`: false (with `out` as it was) when
    // the bytes are not well-formed GBK or name a code GBK does not define.
    bool decode(const char* bytes, qsizetype size, QString& out) const;
    // True when GBK defines the code: one byte below 0x100, else lead byte * 256 + trail.
    bool defines(std::uint16_t code) const { return code < m_reverse.size() && m_reverse[code] != 0; }

private:
    GbkEncoder();
    // Writes the GBK bytes of `cp` at `w`; the position after them, or null for a code
    // point GBK does not define.
    char* writeCode(char* w, char32_t cp) const;
    std::vector<std::uint16_t> m_table; // by BMP code point: 0 none, < 0x100 one byte, else two
    std::vector<char16_t> m_reverse;    // by GBK code (one byte < 0x100, else two): 0 none
};

} // namespace bankprep

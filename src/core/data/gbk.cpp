#include "core/data/gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace bankprep {

QString truncateToGbkBytes(const QString& text, int maxBytes)
{
    const GbkEncoder& gbk = GbkEncoder::instance();
    int used = 0;
    qsizetype i = 0;
    QByteArray scratch;
    while (i < text.size()) {
        const qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        scratch.clear();
        const int bytes = (len == 1 && gbk.append(scratch, QStringView(text).mid(i, 1)))
                              ? int(scratch.size())
                              : 2;
        if (used + bytes > maxBytes)
            break;
        used += bytes;
        i += len;
    }
    return text.left(i);
}

const GbkEncoder& GbkEncoder::instance()
{
    static const GbkEncoder encoder;
    return encoder;
}

GbkEncoder::GbkEncoder() : m_table(0x10000, 0), m_reverse(0x10000, 0)
{
    for (char32_t cp = 0; cp < 0x80; ++cp)
        m_table[cp] = std::uint16_t(cp);
    // Ask the platform converter for every other character of the basic plane at once.
    // Its error flag cannot be cleared once set (Qt 6.4 with ICU), so each character is
    // judged by its own output: the converter writes "?" for one it cannot encode, and
    // no character outside ASCII has "?" as its GBK form.
    QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return; // no converter: only ASCII can be written
    for (char32_t cp = 0x80; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        const QChar c{char16_t(cp)};
        const QByteArray b = encoder.encode(QStringView(&c, 1));
        encoder.resetState();
        if (b.size() == 1 && static_cast<unsigned char>(b[0]) >= 0x80)
            m_table[cp] = static_cast<unsigned char>(b[0]);
        else if (b.size() == 2 && static_cast<unsigned char>(b[0]) >= 0x81)
            m_table[cp] = std::uint16_t((static_cast<unsigned char>(b[0]) << 8) |
                                        static_cast<unsigned char>(b[1]));
    }
    // The way back: the first character that encodes to a code decodes from it.
    for (char32_t cp = 0x80; cp < 0x10000; ++cp) {
        const std::uint16_t code = m_table[cp];
        if (code != 0 && m_reverse[code] == 0)
            m_reverse[code] = char16_t(cp);
    }
}

bool GbkEncoder::decode(const char* bytes, qsizetype size, QString& out) const
{
    const qsizetype start = out.size();
    out.resize(start + size); // never more characters than bytes
    char16_t* o = reinterpret_cast<char16_t*>(out.data()) + start;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    const auto* end = p + size;
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            *o++ = c;
            ++p;
            continue;
        }
        char16_t u = 0;
        if (c == 0x80 || c == 0xFF || p + 1 >= end) {
            u = c == 0x80 ? m_reverse[0x80] : 0;
            p += 1;
        } else {
            u = m_reverse[std::uint16_t((c << 8) | p[1])];
            p += 2;
        }
        if (u == 0) {
            out.truncate(start);
            return false;
        }
        *o++ = u;
    }
    out.truncate(o - reinterpret_cast<char16_t*>(out.data()));
    return true;
}

char* GbkEncoder::writeCode(char* w, char32_t cp) const
{
    if (cp >= 0x10000)
        return nullptr;
    const std::uint16_t code = m_table[cp];
    if (code == 0 && cp != 0)
        return nullptr;
    if (code >= 0x100)
        *w++ = char(code >> 8);
    *w++ = char(code & 0xff);
    return w;
}

bool GbkEncoder::appendUtf8(QByteArray& out, const char* utf8, qsizetype size) const
{
    // GBK never takes more bytes than UTF-8 for the same text (ASCII one for one, the
    // rest one or two bytes for two to four): the bytes are written into room made once.
    const qsizetype start = out.size();
    out.resize(start + size);
    char* w = out.data() + start;
    const auto fail = [&] {
        out.truncate(start);
        return false;
    };
    const auto* p = reinterpret_cast<const unsigned char*>(utf8);
    const auto* end = p + size;
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            *w++ = char(c); // plain ASCII as it is
            ++p;
            continue;
        }
        char32_t cp = 0;
        int extra = 0;
        if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else {
            return fail();
        }
        if (end - p <= extra)
            return fail();
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return fail();
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        p += extra + 1;
        w = writeCode(w, cp);
        if (!w)
            return fail();
    }
    out.truncate(w - out.constData());
    return true;
}

bool GbkEncoder::append(QByteArray& out, QStringView text) const
{
    // At most two bytes a UTF-16 unit: written into room made once.
    const qsizetype start = out.size();
    out.resize(start + 2 * text.size());
    char* w = out.data() + start;
    for (const QChar c : text) {
        w = c.isSurrogate() ? nullptr : writeCode(w, c.unicode());
        if (!w) {
            out.truncate(start);
            return false;
        }
    }
    out.truncate(w - out.constData());
    return true;
}

QString GbkEncoder::firstUnencodable(QStringView text)
{
    QByteArray scratch;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        if (len == 2 || !instance().append(scratch, text.mid(i, 1)))
            return text.mid(i, len).toString();
        i += len - 1;
    }
    return QString();
}

} // namespace bankprep

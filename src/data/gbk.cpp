#include "gbk.h"

#include <QStringEncoder>

namespace bankprep {

QString truncateToGbkBytes(const QString& text, int maxBytes)
{
    QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    int used = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        int bytes = 2;
        if (encoder.isValid()) {
            const QByteArray b = encoder.encode(QStringView(text).mid(i, len));
            bytes = encoder.hasError() ? 2 : int(b.size());
            encoder.resetState();
        }
        if (used + bytes > maxBytes)
            break;
        used += bytes;
        i += len;
    }
    return text.left(i);
}

} // namespace bankprep

#include "tracefmt.h"

QString escapeBytes(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        default:
            if (c >= 0x20 && c < 0x7F)
                out += QLatin1Char(char(c));
            else
                out += QLatin1String("\\x") + QString::number(c, 16).rightJustified(2, QLatin1Char('0')).toUpper();
        }
    }
    return out;
}

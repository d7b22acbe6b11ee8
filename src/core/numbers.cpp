#include "numbers.h"

#include <cmath>

namespace {
int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}
} // namespace

qint32 readHex(QStringView text)
{
    quint64 value = 0;
    int digits = 0;
    for (QChar c : text) {
        const int d = hexDigit(c);
        if (d < 0)
            break;
        if (++digits > 8)
            return 0;
        value = value * 16 + quint64(d);
    }
    if (digits <= 4)
        return static_cast<qint16>(static_cast<quint16>(value));
    return static_cast<qint32>(static_cast<quint32>(value));
}

double readDecimal(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    double value = 0;
    while (i < n && text[i] >= u'0' && text[i] <= u'9') {
        value = value * 10 + (text[i].unicode() - '0');
        ++i;
    }
    if (i < n && text[i] == u'.') {
        ++i;
        double scale = 0.1;
        while (i < n && text[i] >= u'0' && text[i] <= u'9') {
            value += (text[i].unicode() - '0') * scale;
            scale /= 10;
            ++i;
        }
    }
    if (!std::isfinite(value))
        return 0;
    return negative ? -value : value;
}

qint64 roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return 0;
    // Values beyond the 64-bit range cannot come from a 16- or 32-bit field; clamp.
    if (value >= 9.2e18)
        return INT64_MAX;
    if (value <= -9.2e18)
        return INT64_MIN;
    return static_cast<qint64>(std::nearbyint(value));
}

QString withSign(qint64 value)
{
    return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
}

QString plainNumber(double value)
{
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', 15);
}

NumberCheck readWholeNumber(
    QStringView text, qint64 min, qint64 max, qint64& value, NumberForm form)
{
    if (form != NumberForm::Lenient) {
        // Without this toLongLong would also take a sign, blanks and a "0x" prefix; ten
        // digits hold every value an option can take.
        if (text.isEmpty() || text.size() > 10)
            return NumberCheck::NotANumber;
        for (QChar c : text) {
            const char16_t u = c.unicode();
            const bool digit = (u >= '0' && u <= '9')
                || (form == NumberForm::HexDigits
                    && ((u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f')));
            if (!digit)
                return NumberCheck::NotANumber;
        }
    }
    bool ok = false;
    const qint64 n = text.toLongLong(&ok, form == NumberForm::HexDigits ? 16 : 10);
    if (!ok)
        return NumberCheck::NotANumber;
    if (n < min || n > max)
        return NumberCheck::OutOfRange;
    value = n;
    return NumberCheck::Ok;
}

std::optional<int> readIntOption(QStringView text, int min, int max)
{
    qint64 n = 0;
    if (readWholeNumber(text, min, max, n) != NumberCheck::Ok)
        return std::nullopt;
    return int(n);
}

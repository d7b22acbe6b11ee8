#include "statusmask.h"

#include "core/numbers.h"

#include <cmath>
#include <limits>

quint16 statusMaskFromText(const QString& text, MaskRadix radix)
{
    const qsizetype space = text.indexOf(QLatin1Char(' '));
    const QString number = text.mid(space + 1).toUpper();
    if (radix == MaskRadix::Hexadecimal)
        return static_cast<quint16>(readHex(number) & 0xFFFF);
    const double value = readDecimal(number);
    // Beyond a 32-bit number there are no sensible status bits to show.
    if (!std::isfinite(value) || value < double(std::numeric_limits<qint32>::min())
        || value > double(std::numeric_limits<qint32>::max()))
        return 0;
    return static_cast<quint16>(roundHalfEven(value) & 0xFFFF);
}

QString statusMaskText(quint16 bits, MaskRadix radix)
{
    if (radix == MaskRadix::Hexadecimal)
        return QStringLiteral("%1").arg(bits, 4, 16, QLatin1Char('0')).toUpper();
    return QString::number(static_cast<qint16>(bits));
}

// Numbers arrive from command files, dialogs and the controller's answers.

#include "core/numbers.h"
#include "core/text.h"
#include "fuzzsupport.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromLatin1(fuzzBytes(data, size));

    // Hexadecimal: only the leading digits count, and the value written back in eight
    // digits reads as itself.
    qsizetype digits = 0;
    while (digits < text.size()
        && ((text[digits] >= u'0' && text[digits] <= u'9')
            || (text[digits] >= u'A' && text[digits] <= u'F')))
        ++digits;
    const qint32 hex = readHex(text);
    FUZZ_CHECK(hex == readHex(QStringView(text).left(digits)));
    FUZZ_CHECK(readHex(QString::number(quint32(hex), 16).toUpper().rightJustified(8, u'0')) == hex);

    // Decimal: always finite; whole numbers below 10^15 survive writing and reading.
    const double value = readDecimal(text);
    FUZZ_CHECK(std::isfinite(value));
    if (std::fabs(value) < 1e15) {
        const qint64 rounded = roundHalfEven(value);
        FUZZ_CHECK(std::fabs(double(rounded) - value) <= 0.5);
        FUZZ_CHECK(readDecimal(withSign(rounded)) == double(rounded));
        if (value == std::floor(value))
            FUZZ_CHECK(readDecimal(plainNumber(value)) == value);
    }

    // Text helpers keep positions: only a-z change, and trims cut blanks only.
    const QString upper = asciiUpper(text);
    FUZZ_CHECK(upper.size() == text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool lower = text[i] >= u'a' && text[i] <= u'z';
        FUZZ_CHECK(lower ? upper[i].unicode() == text[i].unicode() - 32 : upper[i] == text[i]);
    }
    const QString trailing = trimTrailing(text);
    FUZZ_CHECK(text.startsWith(trailing) && !trailing.endsWith(u' '));
    FUZZ_CHECK(
        QStringView(text).sliced(trailing.size()).count(u' ') == text.size() - trailing.size());
    const QString leading = trimLeading(text);
    FUZZ_CHECK(text.endsWith(leading) && !leading.startsWith(u' '));
    return 0;
}

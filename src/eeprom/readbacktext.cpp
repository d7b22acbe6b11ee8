#include "readbacktext.h"

#include "core/numbers.h"
#include "eeprom/eepromtext.h"

namespace ReadBackText {

QByteArray bytesFromAnswers(QString answers)
{
    QByteArray bytes;
    while (answers.contains(QLatin1String("00"))) {
        if (const auto b = EepromText::takeRuleA(answers))
            bytes.append(char(*b));
    }
    return bytes;
}

QByteArray fileText(const QByteArray& bytes, bool asText)
{
    QByteArray text;
    text.reserve(bytes.size() + bytes.count('\r'));
    for (const char c : bytes) {
        text.append(c);
        if (c == '\r')
            text.append('\n');
    }
    if (asText)
        return text;
    QByteArray numbers;
    numbers.reserve(text.size() * 6);
    for (const char c : text)
        numbers += withSign(quint8(c)).toLatin1() + "\r\n";
    return numbers;
}

} // namespace ReadBackText

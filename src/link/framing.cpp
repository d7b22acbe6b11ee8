#include "framing.h"

void calc_cksum(ChecksumState& state)
{
    // Only the low 8 bits count, so a wide accumulator cannot overflow.
    unsigned total = 0;
    for (QChar c : state.text)
        total += c.unicode() & 0xFF;
    state.sum = int(total & 0xFF);
    state.check1 = '0' + state.sum / 16;
    state.check2 = '0' + state.sum % 16;
}

QString checkCharacters(const QString& text)
{
    ChecksumState s;
    s.text = text;
    calc_cksum(s);
    const QChar chars[2] = { QChar(s.check1), QChar(s.check2) };
    return QString(chars, 2);
}

void Calc_RX_Cksum(QString& responseBuffer)
{
    const qsizetype hash = responseBuffer.indexOf(QLatin1Char('#'));
    if (hash < 0)
        return;
    if (responseBuffer.size() < hash + 3) {
        responseBuffer.clear();
        return;
    }
    unsigned total = 0;
    for (qsizetype i = 0; i < hash; ++i)
        total += responseBuffer[i].unicode() & 0xFF;
    const int expected = int(total & 0xFF);
    const int received = (responseBuffer[hash + 1].unicode() - 48) * 16 + (responseBuffer[hash + 2].unicode() - 48);
    if (received == expected)
        responseBuffer.truncate(hash);
    else
        responseBuffer.clear();
}

void calc32bit(const QString& text, qint32& result)
{
    QString t = text;
    const qsizetype cr = t.indexOf(QLatin1Char('\r'));
    if (cr >= 0)
        t.truncate(cr);
    if (t.size() < 8)
        t = QString(8 - t.size(), QLatin1Char('0')) + t;
    else
        t = t.right(8);
    quint32 pattern = 0;
    for (QChar c : t) {
        const char16_t u = c.unicode();
        quint32 d = 0;
        if (u >= '0' && u <= '9')
            d = u - '0';
        else if (u >= 'A' && u <= 'F')
            d = u - 'A' + 10;
        pattern = pattern * 16 + d;
    }
    result = static_cast<qint32>(pattern);
}

qint32 calc32bit(const QString& text)
{
    qint32 r = 0;
    calc32bit(text, r);
    return r;
}

QByteArray frameCommand(const QString& text, bool withChecksum)
{
    QByteArray out;
    out.reserve(text.size() + 5);
    out.append('\r');
    out.append(toWire(text));
    if (withChecksum) {
        out.append('#');
        out.append(toWire(checkCharacters(text)));
    }
    out.append('\r');
    return out;
}

#include "e2promrecord.h"

#include <QtGlobal>

int E2promRecord::leadingNumber(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    qint64 value = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
        value = std::min<qint64>(value * 10 + (text[i].unicode() - u'0'), 32767);
        ++i;
    }
    return int(negative ? -value : value);
}

E2promRecord E2promRecord::parse(const QByteArray& bytes)
{
    E2promRecord r;
    if (bytes.isEmpty())
        return r;
    r.record.replace(0, std::min<qsizetype>(bytes.size(), Size), bytes.left(Size));
    const QString text = QString::fromLatin1(r.record);
    r.Delay = std::max(1, leadingNumber(text.mid(0, 2)));
    r.TxTNode = QString::number(leadingNumber(text.mid(2, 2)));
    r.EnableCksumChk = leadingNumber(text.mid(4, 1)) == 1 ? 1 : 0;
    r.VerifyDownload = r.EnableCksumChk == 1;
    return r;
}

QByteArray E2promRecord::build(const QString& delayText, const QString& nodeText, bool verify)
{
    const auto lastTwo = [](const QString& text) { return (QStringLiteral("00") + text).right(2); };
    QByteArray out = (lastTwo(delayText) + lastTwo(nodeText) + (verify ? u'1' : u'0')).toLatin1();
    return out.leftJustified(Size, ' ', true);
}

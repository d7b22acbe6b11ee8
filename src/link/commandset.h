#pragma once

#include <QString>
#include <QStringList>

// Every controller command the program sends, in one place. A command line is the
// node address, a blank, the command and its arguments; the download window's texts
// begin with the blank and follow its node address.
namespace Tyx {

// Main window fixed commands, addressed to node 0 (the broadcast form).
inline const QString Home = QStringLiteral("0 HO");
inline const QString Enable = QStringLiteral("0 EN");
inline const QString Disable = QStringLiteral("0 DI");
inline const QString Abort = QStringLiteral("0 AB");
inline const QString Status = QStringLiteral("0 ST");

// The diagnostic log's queries, in the order they are asked.
inline const QStringList DebugQueries = { QStringLiteral("0 ST"), QStringLiteral("0 ST"),
    QStringLiteral("0 SR"), QStringLiteral("0 POR"), QStringLiteral("0 I"), QStringLiteral("0 DER"),
    QStringLiteral("0 EEBOOT") };

// Download window command texts (each begins with a blank; the node address goes
// in front).
inline const QString ChecksumReset = QStringLiteral(" EEC 0");
inline const QString ChecksumQuery = QStringLiteral(" EEC");
inline const QString EndSequence = QStringLiteral(" EES");
inline const QString Write = QStringLiteral(" EEW");
inline const QString Read = QStringLiteral(" EER");
inline const QString Unlock = QStringLiteral(" EEU 4826");
inline const QString Reset = QStringLiteral(" RN");

// A number as the controller reads it: a blank in the sign's place when not negative.
inline QString signedNumber(int value)
{
    return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
}
// Starts a sequential access at `address` (" EES 1024").
inline QString setAddress(int address)
{
    return QStringLiteral(" EES ") + QString::number(address);
}
// " EEN" and the number with its sign position (" EEN 0", " EEN-1").
inline QString loadNumber(int value)
{
    return QStringLiteral(" EEN") + signedNumber(value);
}
// " EED " and the character; a CR is the line's own end, so it is not written twice.
inline QString loadCharacter(QChar c)
{
    return c == u'\r' ? QStringLiteral(" EED ") : QStringLiteral(" EED ") + c;
}
// " EEDAT c": the character for the next " EEW".
inline QString loadData(QChar c)
{
    return QStringLiteral(" EEDAT ") + c;
}
// Addressed access (after Unlock): reads `address`, or writes character c there.
inline QString readAt(int address)
{
    return QStringLiteral(" EEADR") + signedNumber(address);
}
inline QString writeAt(int address, const QString& c)
{
    return readAt(address) + QLatin1Char(',') + c;
}
// Writes c at `address` in one line (" EEADDR 503,X"), unlocked like writeAt.
inline QString storeAt(int address, QChar c)
{
    return QStringLiteral(" EEADDR ") + QString::number(address) + QLatin1Char(',') + c;
}
inline QString runMacro(int n)
{
    return QStringLiteral(" ME") + signedNumber(n);
}
// Macro n run by every controller on the line (node 0), whatever node the download
// settings address.
inline QString runMacroEverywhere(int n)
{
    return QStringLiteral("0") + runMacro(n);
}

} // namespace Tyx

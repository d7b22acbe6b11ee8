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
inline const QString HeaderMark = QStringLiteral(" EEDAT X");
inline const QString IncompleteMark = QStringLiteral(" EEADDR 503,I");
inline QString setAddress(int address) { return QStringLiteral(" EES ") + QString::number(address); }
// " EEN" and the number with its sign position (" EEN 0", " EEN-1").
inline QString loadNumber(int value)
{
    return QStringLiteral(" EEN") + (value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value));
}
inline QString loadCharacter(QChar c) { return QStringLiteral(" EED ") + c; }
inline QString readAt(int address) { return QStringLiteral(" EEADR ") + QString::number(address); }
inline QString writeAt(int address, const QString& c) { return readAt(address) + QLatin1Char(',') + c; }
inline QString runMacro(int n) { return QStringLiteral(" ME ") + QString::number(n); }

} // namespace Tyx

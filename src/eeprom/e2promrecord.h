#pragma once

#include <QByteArray>
#include <QString>

// The download settings file "e2prom.dat": one record of 500 characters. Characters
// 1-2 hold the delay and 3-4 the node address, each as the last two characters of
// "00" and the text; character 5 is "1" when downloads are verified; blanks follow.
struct E2promRecord
{
    static constexpr int Size = 500;
    static QString fileName() { return QStringLiteral("e2prom.dat"); }

    // The record as read; 500 "X" when the file was empty.
    QByteArray record = QByteArray(Size, 'X');
    int Delay = 2; // ms per tick, 1 or more
    QString TxTNode = QStringLiteral("0");
    int EnableCksumChk = 0; // the check box: 1 ticked
    bool VerifyDownload = false;

    // Reads the file's bytes. An empty file gives the defaults; a short one is read as
    // far as it goes (the rest of the record stays "X"); only the first record counts.
    // Fields that are not numbers read as 0; a delay below 1 becomes 1, since the
    // waits of a download are multiples of it.
    static E2promRecord parse(const QByteArray& bytes);

    // The record saveE2prom writes: the two texts and the check box, blank-padded.
    static QByteArray build(const QString& delayText, const QString& nodeText, bool verify);

    // The leading whole number of a text (blanks before it skipped, a sign allowed);
    // 0 when it does not begin with one.
    static int leadingNumber(const QString& text);
};

#pragma once

#include <QString>
#include <QStringList>

// The 16-bit status word: the texts shown for each bit and which bits are alerts.
struct StatusDescription
{
    QStringList list1; // bits 0 to 8
    QStringList list2; // bits 9 to 15
    bool alert = false; // any of bits 6, 7, 8, 9, 11..15 set: both lists in red
};

StatusDescription describeStatus(quint16 status);

// The wizard's caption for bit k (0..15).
QString statusBitCaption(int bit);

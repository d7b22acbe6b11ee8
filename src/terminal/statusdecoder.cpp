#include "statusdecoder.h"

namespace {

struct BitText
{
    const char* caption; // the mask wizard's check box caption
    const char* whenSet; // nullptr: not shown
    const char* whenClear; // nullptr: nothing shown when clear
};

constexpr BitText bits[16] = {
    { "Move In Progress", "Move in progress", "Motor Stopped" },
    { "Motor In Position", "In position", "Out of Position" },
    { "Velocity Mode Active", "Velocity Mode", "Position Mode" },
    { "Command Accepted/ J2-1 active", nullptr, nullptr },
    { "Trajectory Percent Complete", "*** Trajectory percent complete ***", nullptr },
    { "Device Net Active", nullptr, nullptr },
    { "Device Net Error", "*** DeviceNet Error ***", nullptr },
    { "Following Error", "*** Following Error ***", nullptr },
    { "Drive is Disabled", "*** Drive disabled ***", "Drive Enabled" },
    { "Range Limit", "*** Range Limit Reached ***", nullptr },
    { "Local Mode Active", "Local Mode active", "Remote Mode active" },
    { "Emergency Stop Input Active", "*** Emergency Stop active ***", nullptr },
    { "External Event 1(J2-8) Active", "*** External Event#1 (J2-8) active ***", nullptr },
    { "Positive Limit Active", "*** Positive Limit active ***", nullptr },
    { "External Event 2(J2-7) Active", "*** External Event#2 (J2-7) active ***", nullptr },
    { "Negative Limit Active", "*** Negative Limit active ***", nullptr },
};

constexpr quint16 alertMask
    = 0x0040 | 0x0080 | 0x0100 | 0x0200 | 0x0800 | 0x1000 | 0x2000 | 0x4000 | 0x8000;

} // namespace

StatusDescription describeStatus(quint16 status)
{
    StatusDescription d;
    for (int k = 0; k < 16; ++k) {
        const bool set = status & (1u << k);
        const char* text = set ? bits[k].whenSet : bits[k].whenClear;
        // Bits 3 and 5 are never shown, whatever their state.
        if (!bits[k].whenSet)
            continue;
        if (!text)
            continue;
        (k <= 8 ? d.list1 : d.list2).append(QString::fromLatin1(text));
    }
    d.alert = (status & alertMask) != 0;
    return d;
}

QString statusBitCaption(int bit)
{
    if (bit < 0 || bit > 15)
        return {};
    return QString::fromLatin1(bits[bit].caption);
}

#include "telnetcodec.h"

namespace {

QByteArray bytes(std::initializer_list<quint8> list)
{
    QByteArray out;
    for (const quint8 b : list)
        out += char(b);
    return out;
}

bool offeredByUs(quint8 option)
{
    return option == TelnetCodec::Binary || option == TelnetCodec::SuppressGoAhead
        || option == TelnetCodec::ComPort;
}

bool askedOfServer(quint8 option)
{
    return option == TelnetCodec::Binary || option == TelnetCodec::SuppressGoAhead;
}

} // namespace

QByteArray TelnetCodec::escape(const QByteArray& data)
{
    QByteArray out;
    out.reserve(data.size());
    for (const char c : data) {
        out += c;
        if (quint8(c) == Iac)
            out += c;
    }
    return out;
}

QByteArray TelnetCodec::negotiation(quint8 verb, quint8 option)
{
    return bytes({ Iac, verb, option });
}

QByteArray TelnetCodec::subnegotiation(quint8 option, const QByteArray& payload)
{
    return bytes({ Iac, Sb, option }) + escape(payload) + bytes({ Iac, Se });
}

QByteArray TelnetCodec::openingSequence(qint32 baud)
{
    const auto com = [](quint8 command, const QByteArray& value) {
        return subnegotiation(ComPort, bytes({ command }) + value);
    };
    const quint32 b = quint32(baud);
    const QByteArray speed = bytes({ quint8(b >> 24), quint8(b >> 16), quint8(b >> 8), quint8(b) });
    return negotiation(Will, Binary) + negotiation(Do, Binary) + negotiation(Will, SuppressGoAhead)
        + negotiation(Do, SuppressGoAhead) + negotiation(Will, ComPort) + com(SetBaudRate, speed)
        + com(SetDataSize, "\x08") + com(SetParity, "\x01") // none
        + com(SetStopSize, "\x01") // one
        + com(SetControl, "\x01") // no flow control
        + com(PurgeData, "\x03"); // both buffers
}

QByteArray TelnetCodec::decode(const QByteArray& in, QByteArray& replies)
{
    QByteArray data;
    for (const char ch : in) {
        const quint8 c = quint8(ch);
        switch (m_state) {
        case State::Data:
            if (c == Iac)
                m_state = State::Command;
            else
                data += ch;
            break;
        case State::Command:
            if (c == Iac) {
                data += ch;
                m_state = State::Data;
            } else if (c == Sb) {
                m_sub.clear();
                m_state = State::Sub;
            } else if (c >= Will) {
                m_verb = c;
                m_state = State::Option;
            } else {
                m_state = State::Data; // NOP, go-ahead and the like carry nothing
            }
            break;
        case State::Option: {
            m_state = State::Data;
            const bool wanted = m_verb == Do ? offeredByUs(c) : askedOfServer(c);
            if ((m_verb == Do || m_verb == Will) && !wanted
                && !m_refused.contains(m_verb * 256 + c)) {
                m_refused.insert(m_verb * 256 + c);
                replies += negotiation(m_verb == Do ? Wont : Dont, c);
            }
            break;
        }
        case State::Sub:
            if (c == Iac)
                m_state = State::SubIac;
            else
                m_sub += ch;
            break;
        case State::SubIac:
            if (c == Iac) {
                m_sub += ch;
                m_state = State::Sub;
            } else {
                // SE, or a sender that forgot it: the subnegotiation ends either way.
                subnegotiationEnded(replies);
                m_state = State::Data;
            }
            break;
        }
    }
    return data;
}

void TelnetCodec::subnegotiationEnded(QByteArray&)
{
    if (m_sub.size() >= 2 && quint8(m_sub[0]) == ComPort && quint8(m_sub[1]) > ServerOffset)
        m_acknowledged.insert(quint8(quint8(m_sub[1]) - ServerOffset));
}

#pragma once

#include <QByteArray>
#include <QSet>

// The Telnet framing of a network serial port (RFC 854) with the COM Port Control
// option (RFC 2217): data bytes with 0xFF doubled, option negotiation, and the
// subnegotiations that set the line. Bytes in, bytes out; the socket is elsewhere.
class TelnetCodec
{
public:
    enum : quint8
    {
        Se = 240,
        Sb = 250,
        Will = 251,
        Wont = 252,
        Do = 253,
        Dont = 254,
        Iac = 255,
        Binary = 0,
        SuppressGoAhead = 3,
        ComPort = 44,
    };
    // COM Port Control commands of the client; the server answers each with its
    // number plus 100.
    enum : quint8
    {
        SetBaudRate = 1,
        SetDataSize = 2,
        SetParity = 3,
        SetStopSize = 4,
        SetControl = 5,
        PurgeData = 12,
        ServerOffset = 100,
    };

    // Data for the wire: every 0xFF doubled.
    static QByteArray escape(const QByteArray& data);
    static QByteArray negotiation(quint8 verb, quint8 option);
    // IAC SB option payload IAC SE, 0xFF in the payload doubled.
    static QByteArray subnegotiation(quint8 option, const QByteArray& payload);
    // What a client sends first: binary both ways, no go-ahead, the COM port option,
    // then the line (baud, 8 data bits, no parity, 1 stop bit, no flow control) and a
    // purge of both of the server's buffers.
    static QByteArray openingSequence(qint32 baud);

    // The data in `in`, with Telnet commands taken out (a command cut between two
    // calls is completed by the next). Answers the server's requests into `replies`:
    // the options of openingSequence() are already offered, any other is refused,
    // once each.
    QByteArray decode(const QByteArray& in, QByteArray& replies);
    // Whether the server has answered COM port command `command`.
    bool acknowledged(quint8 command) const { return m_acknowledged.contains(command); }

private:
    void subnegotiationEnded(QByteArray& replies);

    enum class State
    {
        Data,
        Command,
        Option,
        Sub,
        SubIac
    };
    State m_state = State::Data;
    quint8 m_verb = 0;
    QByteArray m_sub;
    QSet<quint8> m_acknowledged;
    QSet<int> m_refused; // verb * 256 + option, so that a refusal goes once
};

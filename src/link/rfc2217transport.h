#pragma once

#include "tcptransport.h"
#include "telnetcodec.h"

// A serial device server speaking Telnet with COM Port Control
// ("rfc2217://HOST:PORT"): the line is set from here. A server that never answers
// the settings is used as it is, after ConnectTimeoutMs.
class Rfc2217Transport : public TcpTransport
{
    Q_OBJECT
public:
    using TcpTransport::TcpTransport;

protected:
    QByteArray decode(const QByteArray& bytes) override;
    QByteArray encode(const QByteArray& bytes) override { return TelnetCodec::escape(bytes); }
    bool negotiate(qint32 baud) override;

private:
    TelnetCodec m_codec;
};

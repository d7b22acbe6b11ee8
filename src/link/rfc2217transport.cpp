#include "rfc2217transport.h"

QByteArray Rfc2217Transport::decode(const QByteArray& bytes)
{
    QByteArray replies;
    const QByteArray data = m_codec.decode(bytes, replies);
    if (!replies.isEmpty())
        send(replies);
    return data;
}

bool Rfc2217Transport::negotiate(qint32 baud)
{
    m_codec = TelnetCodec();
    send(TelnetCodec::openingSequence(baud));
    // The purge is the last setting sent: its answer means the line is set. A banner
    // that came before it is dropped with the input at opening.
    waitFor([this] { return m_codec.acknowledged(TelnetCodec::PurgeData); });
    if (m_socket.state() != QAbstractSocket::ConnectedState) {
        m_reason = QStringLiteral("connection closed by the server");
        return false;
    }
    return true;
}

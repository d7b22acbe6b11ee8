#include "tcptransport.h"

#include "core/eventwait.h"

#include <QTimer>
#include <QUrl>

TcpTransport::TcpTransport(qint64 readBuffer, QObject* parent)
    : LinkTransport(parent)
    , m_readBuffer(readBuffer)
{
    m_socket.setReadBufferSize(readBuffer);
    connect(&m_socket, &QTcpSocket::readyRead, this, &TcpTransport::onReadyRead);
    connect(&m_socket, &QTcpSocket::disconnected, this, &TcpTransport::onGone);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &TcpTransport::onGone);
}

TcpTransport::~TcpTransport()
{
    m_socket.disconnect(this);
    m_socket.abort();
}

bool TcpTransport::waitFor(const std::function<bool()>& done)
{
    bool late = false;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, this, [&late] { late = true; });
    limit.start(ConnectTimeoutMs);
    waitUntil(
        [&] { return done() || late || m_socket.state() == QAbstractSocket::UnconnectedState; });
    return done();
}

bool TcpTransport::open(const QString& name, qint32 baud)
{
    m_permissionDenied = false;
    const QUrl url(name);
    if (!url.isValid() || url.host().isEmpty() || url.port() <= 0) {
        m_reason = QStringLiteral("not a network port (HOST:PORT missing)");
        return false;
    }
    m_input.clear();
    m_socket.abort();
    m_socket.connectToHost(url.host(), quint16(url.port()));
    if (!waitFor([this] { return m_socket.state() == QAbstractSocket::ConnectedState; })) {
        m_reason = m_socket.state() == QAbstractSocket::UnconnectedState
            ? m_socket.errorString()
            : QStringLiteral("no connection to %1:%2 within %3 s")
                  .arg(url.host())
                  .arg(url.port())
                  .arg(ConnectTimeoutMs / 1000);
        m_socket.abort();
        return false;
    }
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_open = true;
    if (!negotiate(baud)) {
        close();
        return false;
    }
    m_input.clear();
    m_reason.clear();
    return true;
}

void TcpTransport::close()
{
    m_open = false;
    m_socket.abort();
    m_input.clear();
}

void TcpTransport::send(const QByteArray& raw)
{
    m_socket.write(raw);
    m_socket.flush();
}

void TcpTransport::write(const QByteArray& bytes)
{
    if (m_open)
        send(encode(bytes));
}

QByteArray TcpTransport::read(qint64 maxBytes)
{
    QByteArray out = maxBytes > 0 && maxBytes < m_input.size() ? m_input.left(maxBytes) : m_input;
    m_input.remove(0, out.size());
    if (m_socket.bytesAvailable() > 0)
        QTimer::singleShot(0, this, &TcpTransport::onReadyRead);
    return out;
}

void TcpTransport::onReadyRead()
{
    // Beyond the read buffer the socket keeps the rest, and TCP slows the sender.
    const qint64 room = m_readBuffer - m_input.size();
    if (room <= 0)
        return;
    const QByteArray data = decode(m_socket.read(room));
    m_input += data;
    if (!data.isEmpty() && m_open)
        Q_EMIT readyRead();
}

void TcpTransport::onGone()
{
    if (!m_open)
        return;
    m_open = false;
    const QString why = m_socket.error() == QAbstractSocket::RemoteHostClosedError
        ? QStringLiteral("connection closed by the server")
        : m_socket.errorString();
    m_socket.abort();
    Q_EMIT lost(why);
}

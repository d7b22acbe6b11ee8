#pragma once

#include "linktransport.h"

#include <QTcpSocket>

// A serial device server over raw TCP ("socket://HOST:PORT"): the bytes of the line
// as they are. The server's own settings set the line; a banner it sends on
// connecting is discarded with the rest of the input at opening.
class TcpTransport : public LinkTransport
{
    Q_OBJECT
public:
    // readBuffer: the most kept of what arrived and was not read, in bytes.
    TcpTransport(qint64 readBuffer, QObject* parent = nullptr);
    ~TcpTransport() override;

    // The longest a connection (and an RFC 2217 server's answer) is waited for.
    static constexpr int ConnectTimeoutMs = 5000;

    bool open(const QString& name, qint32 baud) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    void write(const QByteArray& bytes) override;
    qint64 bytesToWrite() const override { return m_socket.bytesToWrite(); }
    void dropOutput() override { }
    qint64 bytesAvailable() const override { return m_input.size(); }
    QByteArray read(qint64 maxBytes) override;

protected:
    // The socket's bytes as data for the reader (RFC 2217 takes out its commands).
    virtual QByteArray decode(const QByteArray& bytes) { return bytes; }
    // Data as it goes on the socket.
    virtual QByteArray encode(const QByteArray& bytes) { return bytes; }
    // After connecting, before the port counts as open: false (and m_reason) fails it.
    virtual bool negotiate(qint32) { return true; }
    // Waits, letting events run, until done() holds, the connection ends or
    // ConnectTimeoutMs passes; returns done().
    bool waitFor(const std::function<bool()>& done);
    void send(const QByteArray& raw);

    QTcpSocket m_socket;
    QByteArray m_input;

private:
    void onReadyRead();
    void onGone();

    qint64 m_readBuffer;
    bool m_open = false;
};

#pragma once

// The host side of the simulator tests: a real QSerialPort on the simulator's
// pseudo-terminal, with answers taken line by line.

#include "link/framing.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTest>

class SimHost
{
public:
    bool open(const QString& path, qint32 baud = 9600)
    {
        m_port.setPortName(path);
        m_port.setBaudRate(baud);
        m_port.setDataBits(QSerialPort::Data8);
        m_port.setParity(QSerialPort::NoParity);
        m_port.setStopBits(QSerialPort::OneStop);
        m_port.setFlowControl(QSerialPort::NoFlowControl);
        return m_port.open(QIODevice::ReadWrite);
    }
    QSerialPort& port() { return m_port; }

    void send(const QByteArray& bytes)
    {
        m_port.write(bytes);
        m_port.waitForBytesWritten(5000);
    }
    // CR, text, CR (with the checksum: CR, text, "#", two check characters, CR).
    void command(const QString& text, bool checksum = false) { send(frameCommand(text, checksum)); }

    // The next line up to and including CR LF; empty when none came within 10 s (a
    // safety net for a failing test, not a measure of speed).
    QByteArray answer()
    {
        QElapsedTimer t;
        t.start();
        while (!m_buffer.contains("\r\n") && t.elapsed() < 10000) {
            if (m_port.bytesAvailable() > 0 || m_port.waitForReadyRead(200))
                m_buffer += m_port.readAll();
        }
        const qsizetype end = m_buffer.indexOf("\r\n");
        if (end < 0)
            return QByteArray();
        const QByteArray line = m_buffer.left(end + 2);
        m_buffer.remove(0, end + 2);
        return line;
    }
    QByteArray ask(const QString& text, bool checksum = false)
    {
        command(text, checksum);
        return answer();
    }

private:
    QSerialPort m_port;
    QByteArray m_buffer;
};

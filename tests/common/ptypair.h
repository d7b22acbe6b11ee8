#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

// A pseudo-terminal for tests that play the controller's side by hand: the program
// under test opens slavePath() as its serial port, the test reads and writes the
// master side.
class PtyPair
{
public:
    PtyPair()
    {
        int slave = -1;
        char name[256] = {};
        if (openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
            return;
        termios t {};
        tcgetattr(m_master, &t);
        cfmakeraw(&t);
        tcsetattr(m_master, TCSANOW, &t);
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_slave = slave; // held open so that reads on the master never fail with EIO
        m_path = QString::fromLocal8Bit(name);
    }
    ~PtyPair()
    {
        closeMaster();
        if (m_slave >= 0)
            ::close(m_slave);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_path; }

    void write(const QByteArray& bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n <= 0)
                break;
            done += n;
        }
    }

    // Reads what the program wrote, letting its events run, until `count` bytes have
    // arrived or `ms` milliseconds have passed.
    QByteArray read(qsizetype count, int ms = 2000)
    {
        QElapsedTimer clock;
        clock.start();
        while (m_buffer.size() < count && clock.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            pollfd p { m_master, POLLIN, 0 };
            if (::poll(&p, 1, 5) > 0)
                drain();
        }
        drain();
        const QByteArray out = m_buffer.left(count);
        m_buffer.remove(0, out.size());
        return out;
    }

    // Everything written so far, after letting events run for `ms` milliseconds.
    QByteArray readAll(int ms = 100)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            pollfd p { m_master, POLLIN, 0 };
            if (::poll(&p, 1, 5) > 0)
                drain();
        }
        drain();
        QByteArray out;
        out.swap(m_buffer);
        return out;
    }

    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    void drain()
    {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                break;
            m_buffer.append(buf, n);
        }
    }

    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    QByteArray m_buffer;
};

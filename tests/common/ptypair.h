#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <limits>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

// Opens a pseudo-terminal pair with the master side raw (bytes pass unchanged, no
// echo, no CR/LF translation) and non-blocking. False, with the arguments left
// alone, when no pair could be had.
inline bool openRawPty(int& master, int& slave, QString& slavePath)
{
    int m = -1;
    int s = -1;
    char name[256] = {};
    if (openpty(&m, &s, name, nullptr, nullptr) != 0)
        return false;
    termios t {};
    tcgetattr(m, &t);
    cfmakeraw(&t);
    tcsetattr(m, TCSANOW, &t);
    fcntl(m, F_SETFL, fcntl(m, F_GETFL) | O_NONBLOCK);
    master = m;
    slave = s;
    slavePath = QString::fromLocal8Bit(name);
    return true;
}

// A pseudo-terminal for tests that play the controller's side by hand: the program
// under test opens slavePath() as its serial port, the test reads and writes the
// master side.
class PtyPair
{
public:
    // The slave side is held open so that reads on the master never fail with EIO.
    PtyPair() { openRawPty(m_master, m_slave, m_path); }
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
            const ssize_t n
                = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
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
    QByteArray readAll(int ms = 100) { return read(std::numeric_limits<qsizetype>::max(), ms); }

    // Holds back what the program writes, as a far end that stops taking bytes
    // does: the terminal's output stays stopped, writes to it find no room.
    void stopOutput() { tcflow(m_slave, TCOOFF); }

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

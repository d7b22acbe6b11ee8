#include "ptysimulator.h"

#include "core/wholefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#ifdef Q_OS_WIN

// Windows has no pseudo-terminals: there the simulator only says why it cannot serve.
PtySimulator::PtySimulator(const SimOptions& options, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_line(options)
{
}

PtySimulator::~PtySimulator() = default;

bool PtySimulator::start()
{
    m_error = QStringLiteral(
        "the simulated controller is not available on Windows: it needs a pseudo-terminal");
    return false;
}

bool PtySimulator::stop()
{
    return true;
}

#else

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct Speed
{
    int baud;
    speed_t code;
};

constexpr Speed speeds[] = { { 300, B300 }, { 600, B600 }, { 1200, B1200 }, { 2400, B2400 },
    { 4800, B4800 }, { 9600, B9600 }, { 19200, B19200 }, { 38400, B38400 }, { 57600, B57600 },
    { 115200, B115200 }, { 230400, B230400 }, { 460800, B460800 }, { 921600, B921600 } };

speed_t speedCode(int baud)
{
    for (const Speed& s : speeds) {
        if (s.baud == baud)
            return s.code;
    }
    return B9600;
}

// -1 for a speed outside the table (it can never match the option's).
int baudOf(speed_t code)
{
    for (const Speed& s : speeds) {
        if (s.code == code)
            return s.baud;
    }
    return -1;
}

// Received lines go to the log as one text line each: CR, LF as \r, \n, a backslash
// doubled, other control characters and bytes from 0x80 on as \xHH.
QByteArray escapeLine(const QByteArray& line)
{
    QByteArray out;
    out.reserve(line.size() + 8);
    for (char ch : line) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c >= 0x7F) {
            out += "\\x";
            out += QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
        } else {
            out += ch;
        }
    }
    return out;
}

QString systemError(const char* what)
{
    return QStringLiteral("%1: %2").arg(
        QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

constexpr qsizetype kMaxOutBuffer = 65536;
constexpr qint64 kRetryNs = 50'000'000; // after EIO: the host side is away; look again later
constexpr qint64 kSettleNs = 50'000'000;
constexpr qint64 kHangUpGraceNs = 2'000'000'000; // the longest a hang-up waits for the host to read

} // namespace

PtySimulator::PtySimulator(const SimOptions& options, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_line(options)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &PtySimulator::service);
    // Every controller hears every line; the first one's ear is the line's log.
    m_line.controller(0).setLineObserver([this](const QByteArray& line) { logLine(line); });
}

PtySimulator::~PtySimulator()
{
    if (m_running && !stop())
        qWarning("zaziruv-sim: %s", qPrintable(m_error));
}

qint64 PtySimulator::charNs() const
{
    return 10'000'000'000LL / std::max(1, m_options.baud);
}

int PtySimulator::hostBaud() const
{
    termios t {};
    if (m_master < 0 || tcgetattr(m_master, &t) != 0)
        return 0;
    return baudOf(cfgetospeed(&t));
}

bool PtySimulator::loadMemory(SimulatedController& controller, const QString& file)
{
    if (file.isEmpty() || !QFileInfo::exists(file))
        return true;
    QString why;
    ReadRefusal refusal = ReadRefusal::None;
    const auto image = readRegularFile(file, m_options.eepromSize, &why, &refusal);
    if (!image && refusal != ReadRefusal::TooLarge) {
        m_error = QStringLiteral("cannot read the memory image %1: %2").arg(file, why);
        return false;
    }
    if (!image || !controller.setMemory(*image)) {
        m_error = QStringLiteral("the memory image %1 holds %2 bytes, not the %3 of --eeprom-size; "
                                 "give --eeprom-size to match it")
                      .arg(file)
                      .arg(QFileInfo(file).size())
                      .arg(m_options.eepromSize);
        return false;
    }
    return true;
}

bool PtySimulator::start()
{
    if (m_running)
        return true;
    m_error.clear();

    for (qsizetype i = 0; i < m_line.size(); ++i) {
        if (!loadMemory(m_line.controller(i), m_options.memoryFile(m_line.node(i))))
            return false;
    }

    if (!m_options.logFile.isEmpty()) {
        m_log = std::make_unique<QFile>(m_options.logFile);
        if (!m_log->open(QIODevice::WriteOnly | QIODevice::Append)) {
            m_error = QStringLiteral("cannot open the log %1: %2")
                          .arg(m_options.logFile, m_log->errorString());
            m_log.reset();
            return false;
        }
    }

    if (openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) {
        m_error = systemError("openpty");
        m_master = m_slave = -1;
        m_log.reset();
        return false;
    }
    // Raw at once: the terminal starts cooked, with echo and CR/LF translation, which
    // would answer for the controller and change its bytes. The master and the slave
    // share these settings; the host's own settings replace them when it opens the port.
    termios t {};
    char name[128] = {};
    if (tcgetattr(m_master, &t) != 0
        || (cfmakeraw(&t), cfsetispeed(&t, speedCode(m_options.baud)) != 0)
        || cfsetospeed(&t, speedCode(m_options.baud)) != 0 || tcsetattr(m_master, TCSANOW, &t) != 0
        || ptsname_r(m_master, name, sizeof name) != 0
        || fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0
        || fcntl(m_master, F_SETFD, FD_CLOEXEC) != 0 || fcntl(m_slave, F_SETFD, FD_CLOEXEC) != 0) {
        m_error = systemError("pseudo-terminal setup");
        closeTerminal();
        m_log.reset();
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);

    if (!m_options.linkPath.isEmpty()) {
        const QFileInfo link(m_options.linkPath);
        if (link.isSymLink()) {
            QFile::remove(m_options.linkPath);
        } else if (link.exists()) {
            m_error = QStringLiteral("%1 exists and is not a symbolic link; it is left alone")
                          .arg(m_options.linkPath);
            closeTerminal();
            m_log.reset();
            return false;
        }
        if (::symlink(name, QFile::encodeName(m_options.linkPath).constData()) != 0) {
            m_error = QStringLiteral("cannot make the link %1: %2")
                          .arg(m_options.linkPath, QString::fromLocal8Bit(std::strerror(errno)));
            closeTerminal();
            m_log.reset();
            return false;
        }
        m_linkMade = true;
    }

    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtySimulator::service);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtySimulator::service);
    m_clock.start();
    m_running = true;
    m_hungUp = false;
    m_hangUpNs = -1;
    m_rxNextNs = m_txNextNs = 0;
    m_rxIdle = m_txIdle = true;
    return true;
}

bool PtySimulator::stop()
{
    if (!m_running)
        return true;
    bool ok = true;
    for (qsizetype i = 0; i < m_line.size() && !m_options.eepromFile.isEmpty(); ++i) {
        const QString file = m_options.memoryFile(m_line.node(i));
        QString why;
        if (!writeFileAtomically(file, m_line.controller(i).memory(), &why)) {
            m_error = QStringLiteral("cannot write the memory image %1: %2").arg(file, why);
            ok = false;
        }
    }
    if (m_linkMade) {
        // Only our own link goes; something put there meanwhile stays.
        if (QFileInfo(m_options.linkPath).symLinkTarget()
            == QFileInfo(m_slavePath).absoluteFilePath())
            QFile::remove(m_options.linkPath);
        m_linkMade = false;
    }
    closeTerminal();
    m_log.reset();
    m_running = false;
    return ok;
}

void PtySimulator::closeTerminal()
{
    m_timer.stop();
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
    m_outBuffer.clear();
}

void PtySimulator::service()
{
    if (!m_running || m_hungUp || m_master < 0)
        return;
    readInput();
    writeOutput();
    if (m_line.hungUp()) {
        // The answers made before the fault still reach the host: closing the master
        // at once would discard what it has not read yet. So the line goes dead once
        // the host has taken everything (or after a short grace, if it never reads).
        if (m_hangUpNs < 0)
            m_hangUpNs = m_clock.nsecsElapsed();
        m_readNotifier->setEnabled(false);
        // The kernel hands written bytes to the host's queue a moment later, so an
        // empty queue counts only some time after the last write.
        const qint64 now = m_clock.nsecsElapsed();
        int unread = 0;
        const bool settled = m_lastWriteNs < 0 || now - m_lastWriteNs > kSettleNs;
        const bool drained = m_outBuffer.isEmpty() && settled
            && ::ioctl(m_slave, FIONREAD, &unread) == 0 && unread == 0;
        if (drained || now - m_hangUpNs > kHangUpGraceNs) {
            hangUp();
            return;
        }
        if (!m_writeNotifier->isEnabled())
            m_timer.start(10);
        return;
    }
    schedule();
}

void PtySimulator::readInput()
{
    if (m_line.hungUp())
        return;
    const qint64 now = m_clock.nsecsElapsed();
    qint64 allowance = 65536;
    if (m_options.pace) {
        // A burst's first character arrives one character time after it was written
        // (or after the previous character, when the host writes back to back). Late
        // wake-ups lose nothing: all characters whose time has passed are taken.
        if (m_rxIdle) {
            m_rxNextNs = std::max(m_rxNextNs, now + charNs());
            m_rxIdle = false;
        }
        if (now < m_rxNextNs) {
            m_readNotifier->setEnabled(false);
            return;
        }
        allowance = 1 + (now - m_rxNextNs) / charNs();
    }
    char buf[4096];
    qint64 taken = 0;
    bool drained = false;
    while (taken < allowance && !m_line.hungUp()) {
        const ssize_t n
            = ::read(m_master, buf, size_t(std::min<qint64>(sizeof buf, allowance - taken)));
        if (n > 0) {
            taken += n;
            m_bytesReceived += n;
            m_line.setLineBaud(hostBaud());
            m_line.receive(QByteArrayView(buf, n), nowMs());
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            drained = true;
        } else {
            // EIO: nobody holds the other side. We keep it open ourselves, so this is
            // rare; look again a little later rather than spin on a readable error.
            m_readNotifier->setEnabled(false);
            m_rxNextNs = now + kRetryNs;
            m_rxIdle = true;
            return;
        }
        break;
    }
    if (m_options.pace) {
        m_rxNextNs += taken * charNs();
        // More may be waiting: take it when the line would have delivered it.
        m_readNotifier->setEnabled(drained);
        m_rxIdle = drained;
    } else {
        m_readNotifier->setEnabled(true);
    }
}

void PtySimulator::writeOutput()
{
    const QByteArray due = m_line.takeOutput(nowMs());
    // The same bound as the controller's own queue: a host that never reads loses
    // characters rather than making us grow.
    m_outBuffer += due.left(std::max<qsizetype>(0, kMaxOutBuffer - m_outBuffer.size()));
    m_writeNotifier->setEnabled(false);
    if (m_outBuffer.isEmpty())
        return;
    const qint64 now = m_clock.nsecsElapsed();
    qint64 allowance = m_outBuffer.size();
    if (m_options.pace) {
        if (m_txIdle) {
            m_txNextNs = std::max(m_txNextNs, now + charNs());
            m_txIdle = false;
        }
        if (now < m_txNextNs)
            return;
        allowance = std::min<qint64>(allowance, 1 + (now - m_txNextNs) / charNs());
    }
    qint64 sent = 0;
    while (sent < allowance) {
        const ssize_t n
            = ::write(m_master, m_outBuffer.constData() + sent, size_t(allowance - sent));
        if (n > 0) {
            sent += n;
            m_lastWriteNs = m_clock.nsecsElapsed();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // EAGAIN: the host's input queue is full; go on when it has room.
        if (n < 0 && errno == EAGAIN)
            m_writeNotifier->setEnabled(true);
        else
            m_outBuffer.clear(); // the line is gone; nothing can be delivered
        break;
    }
    m_outBuffer.remove(0, qsizetype(sent));
    m_bytesSent += sent;
    if (m_options.pace) {
        m_txNextNs += sent * charNs();
        m_txIdle = m_outBuffer.isEmpty();
    }
}

void PtySimulator::schedule()
{
    const qint64 now = m_clock.nsecsElapsed();
    qint64 wake = -1;
    auto consider = [&wake](qint64 t) {
        if (t >= 0 && (wake < 0 || t < wake))
            wake = t;
    };
    const qint64 due = m_line.nextOutputMs();
    if (due >= 0)
        consider(due * 1'000'000);
    if (!m_readNotifier->isEnabled())
        consider(m_rxNextNs);
    if (m_options.pace && !m_outBuffer.isEmpty() && !m_writeNotifier->isEnabled())
        consider(m_txNextNs);
    if (wake < 0) {
        m_timer.stop();
        return;
    }
    const qint64 ms = std::max<qint64>(0, (wake - now + 999'999) / 1'000'000);
    m_timer.start(int(std::min<qint64>(ms, 60'000)));
}

void PtySimulator::hangUp()
{
    m_hungUp = true;
    closeTerminal();
    Q_EMIT hungUp();
}

void PtySimulator::logLine(const QByteArray& line)
{
    if (m_log) {
        m_log->write(escapeLine(line) + '\n');
        m_log->flush();
    }
    Q_EMIT lineReceived(line);
}

#endif // Q_OS_WIN

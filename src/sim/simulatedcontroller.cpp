#include "simulatedcontroller.h"

#include "link/framing.h"

namespace {

// Addresses beyond this are out of any memory; keeping them here keeps the
// arithmetic of "EEW"/"EER" advancing far from overflow.
constexpr qint64 kAddressLimit = qint64(1) << 40;

struct Number
{
    bool ok = false;
    bool negative = false;
    qint64 value = 0; // magnitude, saturated at kAddressLimit
    int mod256 = 0; // the signed value modulo 256, 0..255
};

// A decimal number at pos (blanks before it skipped), with an optional sign when
// allowSign. pos ends after the last digit.
Number readNumber(QByteArrayView s, qsizetype& pos, bool allowSign)
{
    Number n;
    while (pos < s.size() && s[pos] == ' ')
        ++pos;
    if (allowSign && pos < s.size() && (s[pos] == '-' || s[pos] == '+')) {
        n.negative = s[pos] == '-';
        ++pos;
    }
    int mod = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        const int d = s[pos] - '0';
        n.value = std::min(kAddressLimit, n.value * 10 + d);
        mod = (mod * 10 + d) % 256;
        n.ok = true;
        ++pos;
    }
    n.mod256 = n.negative ? (256 - mod) % 256 : mod;
    return n;
}

Number readNumber(QByteArrayView s, bool allowSign)
{
    qsizetype pos = 0;
    return readNumber(s, pos, allowSign);
}

bool isBlankOnly(QByteArrayView s)
{
    for (char c : s) {
        if (c != ' ')
            return false;
    }
    return true;
}

// The character of "EED c" and "EEDAT c": the one after the separating blank; a line
// that ends there (the CR that ends it was the character) loads CR.
quint8 dataCharacter(QByteArrayView args)
{
    if (args.isEmpty())
        return '\r';
    if (args[0] == ' ')
        return args.size() >= 2 ? quint8(args[1]) : quint8('\r');
    return quint8(args[0]);
}

QByteArray hex(qint64 value, int digits)
{
    return QByteArray::number(value, 16).toUpper().rightJustified(digits, '0');
}

} // namespace

SimulatedController::SimulatedController(const SimOptions& options)
    : m_options(options)
    , m_status(options.status)
    , m_memory(qsizetype(std::max(1, options.eepromSize)), char(0xFF))
{
}

bool SimulatedController::setMemory(const QByteArray& image)
{
    if (image.size() != m_memory.size())
        return false;
    m_memory = image;
    return true;
}

quint16 SimulatedController::statusWord(qint64 nowMs)
{
    settleMove(nowMs);
    return m_status;
}

void SimulatedController::settleMove(qint64 nowMs)
{
    if (m_moving && nowMs >= m_moveEndMs) {
        m_moving = false;
        m_status = quint16((m_status & ~0x0001) | 0x0002);
    }
}

void SimulatedController::receive(QByteArrayView bytes, qint64 nowMs)
{
    if (m_hungUp)
        return;
    if (!speedMatches()) {
        // Characters at the wrong speed are noise; whatever was half a line is spoilt.
        m_line.clear();
        m_lineTooLong = false;
        return;
    }
    QByteArray echo;
    for (char c : bytes) {
        if (m_hungUp)
            break;
        if (m_options.echo)
            echo.append(c);
        if (c == '\r') {
            // The echo of the CR goes out before the line's answer.
            queue(nowMs, echo);
            echo.clear();
            finishLine(nowMs);
        } else if (m_lineTooLong) {
            continue;
        } else if (m_line.size() >= kMaxLineLength) {
            m_lineTooLong = true;
        } else {
            m_line.append(c);
        }
    }
    queue(nowMs, echo);
}

void SimulatedController::finishLine(qint64 nowMs)
{
    const QByteArray raw = m_line;
    const bool tooLong = m_lineTooLong;
    m_line.clear();
    m_lineTooLong = false;

    QByteArray text = raw;
    text.replace('\n', QByteArray());
    if (text.isEmpty() && !tooLong)
        return;
    ++m_lines;
    if (m_observer)
        m_observer(raw);
    if (!tooLong)
        interpret(text, nowMs);
    if (m_options.hangupAfter > 0 && m_lines >= m_options.hangupAfter)
        m_hungUp = true;
}

void SimulatedController::interpret(const QByteArray& line, qint64 nowMs)
{
    settleMove(nowMs);
    QByteArrayView text(line);
    if (m_options.checksum) {
        // The check is the line's last three characters, so that "EED #" still works.
        if (text.size() < 3 || text[text.size() - 3] != '#')
            return;
        const QByteArrayView body = text.first(text.size() - 3);
        const QByteArray expected = toWire(checkCharacters(fromWire(body.toByteArray())));
        if (text.last(2) != QByteArrayView(expected))
            return;
        text = body;
    }
    qsizetype pos = 0;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    const qsizetype nodeStart = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
        ++pos;
    if (pos == nodeStart)
        return;
    const QByteArrayView node = text.sliced(nodeStart, pos - nodeStart);
    const Number nodeNumber = readNumber(node, false);
    if (nodeNumber.value != 0 && nodeNumber.value != m_options.node)
        return;
    m_silent = nodeNumber.value == 0 && !m_answersBroadcasts;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    const qsizetype nameStart = pos;
    while (pos < text.size()
        && ((text[pos] >= 'A' && text[pos] <= 'Z') || (text[pos] >= 'a' && text[pos] <= 'z')))
        ++pos;
    if (pos == nameStart)
        return;
    execute(node.toByteArray(), text.sliced(nameStart, pos - nameStart).toByteArray().toUpper(),
        text.sliced(pos).toByteArray(), nowMs);
}

void SimulatedController::execute(
    const QByteArray& node, const QByteArray& name, const QByteArray& args, qint64 nowMs)
{
    const QByteArray prefix = node + ' ';
    if (name == "ST" || name == "XST") {
        answer(prefix + hex(m_status, 4), nowMs);
    } else if (name == "EN") {
        m_status &= quint16(~0x0100);
    } else if (name == "DI") {
        m_status |= 0x0100;
    } else if (name == "HO") {
        m_status = quint16((m_status | 0x0001) & ~0x0002);
        m_moving = true;
        m_moveEndMs = nowMs + m_options.moveMs;
    } else if (name == "AB") {
        m_moving = false;
        m_status &= quint16(~0x0001);
    } else if (name == "SR") {
        answer(prefix + hex(m_status, 8), nowMs);
    } else if (name == "POR") {
        answer(prefix + hex(0, 8), nowMs);
    } else if (name == "I") {
        answer(prefix + hex(0, 4), nowMs);
    } else if (name == "DER") {
        answer(prefix + hex(0, 4), nowMs);
    } else if (name == "EEBOOT") {
        const int boot = m_memory.size() > 501 ? quint8(m_memory[501]) : 0;
        answer(prefix + hex(boot, 4), nowMs);
    } else if (name == "ME") {
        const Number n = readNumber(args, false);
        if (n.ok)
            m_macro = int(std::min<qint64>(n.value, 255));
    } else if (name == "RN") {
        reset();
    } else if (name == "EES") {
        if (isBlankOnly(args)) {
            m_unlocked = false;
        } else {
            const Number n = readNumber(args, true);
            if (n.ok && !n.negative)
                m_address = n.value;
        }
    } else if (name == "EEN") {
        const Number n = readNumber(args, true);
        if (n.ok)
            m_data = quint8(n.mod256);
    } else if (name == "EED" || name == "EEDAT") {
        m_data = dataCharacter(args);
    } else if (name == "EEW") {
        ++m_eewCount;
        if (m_address < m_memory.size()) {
            // A failing cell keeps a wrong value, and the controller's checksum, summed
            // over what the cells hold, shows it.
            const bool bad
                = m_options.badWriteEvery > 0 && m_eewCount % m_options.badWriteEvery == 0;
            const quint8 stored = quint8(m_data + (bad ? 1 : 0));
            writeByte(m_address, stored);
            m_checksum = (m_checksum + stored) & 0xFF;
        }
        m_address = std::min(kAddressLimit, m_address + 1);
    } else if (name == "EER") {
        answerByte(m_address, nowMs);
        m_address = std::min(kAddressLimit, m_address + 1);
    } else if (name == "EEU") {
        const Number n = readNumber(args, false);
        m_unlocked = n.ok && n.value == kUnlockCode;
    } else if (name == "EEADR" || name == "EEADDR") {
        if (!m_unlocked)
            return;
        qsizetype pos = 0;
        const Number a = readNumber(args, pos, false);
        if (!a.ok)
            return;
        while (pos < args.size() && args[pos] == ' ')
            ++pos;
        if (pos < args.size() && args[pos] == ',') {
            // Nothing after the comma stores the CR that ended the line.
            writeByte(a.value, pos + 1 < args.size() ? quint8(args[pos + 1]) : quint8('\r'));
        } else {
            answerByte(a.value, nowMs);
        }
    } else if (name == "EEC") {
        if (isBlankOnly(args)) {
            answer(hex(m_options.node, 4) + ' ' + hex(m_checksum, 4), nowMs);
        } else {
            const Number n = readNumber(args, true);
            if (n.ok)
                m_checksum = n.mod256;
        }
    }
}

void SimulatedController::writeByte(qint64 address, quint8 value)
{
    if (address >= 0 && address < m_memory.size())
        m_memory[address] = char(value);
}

void SimulatedController::answerByte(qint64 address, qint64 nowMs)
{
    // Outside the memory there is no byte, so no answer.
    if (address < 0 || address >= m_memory.size())
        return;
    const quint8 b = quint8(m_memory[address]);
    answer(hex(b, 4) + ' ' + char(b), nowMs);
}

void SimulatedController::reset()
{
    m_status = m_options.status;
    m_moving = false;
    m_macro = 0;
    m_address = 0;
    m_data = 0;
    m_unlocked = false;
}

void SimulatedController::answer(const QByteArray& text, qint64 nowMs)
{
    if (m_silent)
        return;
    ++m_answers;
    if (m_options.dropEvery > 0 && m_answers % m_options.dropEvery == 0)
        return;
    QByteArray out = text;
    if (m_options.checksum) {
        QByteArray check = toWire(checkCharacters(fromWire(text)));
        if (m_options.corruptEvery > 0 && m_answers % m_options.corruptEvery == 0)
            check[1] = char('0' + (check[1] - '0' + 1) % 16);
        out += '#' + check;
    }
    out += "\r\n";
    queue(nowMs + m_options.answerDelayMs, out);
}

void SimulatedController::queue(qint64 dueMs, const QByteArray& bytes)
{
    m_output.push(dueMs, bytes);
}

QByteArray SimulatedController::takeOutput(qint64 nowMs)
{
    return m_output.take(nowMs);
}

std::vector<std::pair<qint64, QByteArray>> SimulatedController::takeQueued()
{
    return m_output.takeAll();
}

qint64 SimulatedController::nextOutputMs() const
{
    return m_output.nextMs();
}

#include "simulatedline.h"

SimulatedLine::SimulatedLine(const SimOptions& options)
    : m_nodes(options.lineNodes())
{
    m_controllers.reserve(size_t(m_nodes.size()));
    for (int node : std::as_const(m_nodes)) {
        SimOptions own = options;
        own.node = node;
        own.nodes.clear();
        own.echo = options.echo && m_controllers.empty();
        SimulatedController& c = m_controllers.emplace_back(own);
        c.setAnswersBroadcasts(m_controllers.size() == 1);
    }
}

void SimulatedLine::setLineBaud(int baud)
{
    for (SimulatedController& c : m_controllers)
        c.setLineBaud(baud);
}

void SimulatedLine::receive(QByteArrayView bytes, qint64 nowMs)
{
    if (!shared()) {
        m_controllers.front().receive(bytes, nowMs);
        return;
    }
    // A line at a time, so that the answer to a line is queued before any answer to
    // the lines after it, whoever makes them.
    while (!bytes.isEmpty()) {
        const qsizetype cr = bytes.indexOf('\r');
        const QByteArrayView piece = cr < 0 ? bytes : bytes.first(cr + 1);
        bytes = bytes.sliced(piece.size());
        for (SimulatedController& c : m_controllers) {
            c.receive(piece, nowMs);
            for (auto& [due, out] : c.takeQueued())
                m_output.push(due, std::move(out));
        }
    }
}

QByteArray SimulatedLine::takeOutput(qint64 nowMs)
{
    if (!shared())
        return m_controllers.front().takeOutput(nowMs);
    return m_output.take(nowMs);
}

qint64 SimulatedLine::nextOutputMs() const
{
    if (!shared())
        return m_controllers.front().nextOutputMs();
    return m_output.nextMs();
}

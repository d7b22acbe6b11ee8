#pragma once

#include "sim/simoptions.h"
#include "sim/simulatedcontroller.h"

#include <QByteArray>
#include <QByteArrayView>
#include <map>
#include <vector>

// The controllers sharing one line (a multi-drop line, SimOptions::lineNodes()), bytes
// in and bytes out like one SimulatedController. Every byte reaches each of them and
// each answers the lines to its own node. A node 0 line is carried out by all and
// answered by the first alone, which also makes the echo, so that no two controllers
// talk at once. What they send leaves one whole piece (an answer, an echo) at a time,
// in the order the lines came and their answers fell due, never two interleaved; the
// queue is bounded as one controller's is.
class SimulatedLine
{
public:
    explicit SimulatedLine(const SimOptions& options = {});

    void setLineBaud(int baud);
    void receive(QByteArrayView bytes, qint64 nowMs);
    QByteArray takeOutput(qint64 nowMs);
    qint64 nextOutputMs() const;
    // Every controller counts the same lines, so they hang up together.
    bool hungUp() const { return m_controllers.front().hungUp(); }

    qsizetype size() const { return qsizetype(m_controllers.size()); }
    // In the order of SimOptions::lineNodes(); the first answers broadcasts.
    SimulatedController& controller(qsizetype index) { return m_controllers[size_t(index)]; }
    const SimulatedController& controller(qsizetype index) const
    {
        return m_controllers[size_t(index)];
    }
    int node(qsizetype index) const { return m_nodes[index]; }

private:
    bool shared() const { return m_controllers.size() > 1; }

    std::vector<SimulatedController> m_controllers;
    QList<int> m_nodes;
    // Shared line only (one controller keeps its own queue): due time -> bytes, in the
    // order made.
    TimedOutput m_output; // the answers of all, in the order the lines came
};

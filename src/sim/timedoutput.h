#pragma once

#include <QByteArray>
#include <map>
#include <utility>
#include <vector>

// Answers waiting for their due time (ms), kept in order of making. A host that never
// reads cannot make it grow: past MaxBytes in all, what does not fit is lost, as
// characters sent into a line nobody listens to.
class TimedOutput
{
public:
    static constexpr qsizetype MaxBytes = 65536;

    void push(qint64 dueMs, QByteArray bytes)
    {
        if (bytes.isEmpty() || m_bytes + bytes.size() > MaxBytes)
            return;
        m_bytes += bytes.size();
        m_queue.emplace(dueMs, std::move(bytes));
    }
    // Everything due by nowMs, in order.
    QByteArray take(qint64 nowMs)
    {
        QByteArray out;
        auto it = m_queue.begin();
        while (it != m_queue.end() && it->first <= nowMs) {
            out += it->second;
            m_bytes -= it->second.size();
            it = m_queue.erase(it);
        }
        return out;
    }
    // Everything, due or not, with its due time.
    std::vector<std::pair<qint64, QByteArray>> takeAll()
    {
        std::vector<std::pair<qint64, QByteArray>> out(m_queue.begin(), m_queue.end());
        m_queue.clear();
        m_bytes = 0;
        return out;
    }
    // The first due time; -1 when empty.
    qint64 nextMs() const { return m_queue.empty() ? -1 : m_queue.begin()->first; }
    bool empty() const { return m_queue.empty(); }

private:
    std::multimap<qint64, QByteArray> m_queue;
    qsizetype m_bytes = 0;
};

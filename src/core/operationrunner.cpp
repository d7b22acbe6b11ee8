#include "operationrunner.h"

#include "core/operation.h"

#include <QList>

Outcome OperationRunner::run(Operation& operation)
{
    // Restores the idle state on every way out of run().
    struct Guard
    {
        OperationRunner& runner;
        QList<QMetaObject::Connection> connections;
        ~Guard()
        {
            for (const auto& c : std::as_const(connections))
                QObject::disconnect(c);
            runner.m_running = nullptr;
            Progress idle = runner.m_progress;
            idle.visible = false;
            runner.setProgress(idle);
            Q_EMIT runner.busyChanged(false);
        }
    };
    Q_ASSERT(!m_running);
    m_running = &operation;
    Guard guard { *this, {} };
    guard.connections << connect(
        &operation, &Operation::progressChanged, this, [this](int percent) {
            Progress p = m_progress;
            p.percent = percent;
            setProgress(p);
        });
    guard.connections << connect(
        &operation, &Operation::labelChanged, this, [this](const QString& text) {
            Progress p = m_progress;
            p.label = text;
            setProgress(p);
        });
    guard.connections << connect(&operation, &Operation::progressShown, this, [this](bool shown) {
        Progress p = m_progress;
        p.visible = shown;
        setProgress(p);
    });
    Q_EMIT busyChanged(true);
    setProgress({ true, operation.label(), 0 });
    Q_EMIT started(operation.label());
    const Outcome outcome = operation.run();
    Q_EMIT finished(operation.label(), outcome);
    return outcome;
}

void OperationRunner::cancel()
{
    if (!m_running)
        return;
    m_running->cancel();
    Progress p = m_progress;
    p.label = QStringLiteral("cancelling..");
    p.percent = 100;
    setProgress(p);
}

void OperationRunner::setProgress(const Progress& progress)
{
    if (progress == m_progress)
        return;
    m_progress = progress;
    Q_EMIT progressChanged();
}

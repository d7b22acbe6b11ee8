#pragma once

#include "core/outcome.h"

#include <QObject>
#include <QString>

class Operation;

// Runs one operation at a time and owns the busy state around it: busy() holds and the
// progress window shows the operation's label and percent from the start of run() to
// its end, however it ends (early return or exception). Cancel goes to the running
// operation and sends nothing itself.
class OperationRunner : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    struct Progress
    {
        bool visible = false;
        QString label = QStringLiteral("Downloading..");
        int percent = 0;
        bool operator==(const Progress&) const = default;
    };

    Outcome run(Operation& operation);
    // Asks the running operation to stop; nothing runs: nothing happens.
    void cancel();
    bool busy() const { return m_running != nullptr; }
    const Progress& progress() const { return m_progress; }

Q_SIGNALS:
    void progressChanged();
    void busyChanged(bool busy);
    // Around run(), for the traffic record: the operation's label when it starts, and
    // how it ended (not when it threw).
    void started(const QString& label);
    void finished(const QString& label, const Outcome& outcome);

private:
    void setProgress(const Progress& progress);

    Operation* m_running = nullptr;
    Progress m_progress;
};

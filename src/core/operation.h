#pragma once

#include "core/outcome.h"

#include <QObject>
#include <QString>

// One long exchange with the controller (a download, a read, a clear), built with its
// inputs and run once by the OperationRunner, which shows its progress while it runs.
// Cancel only sets the flag: the operation finishes the byte in flight and ends its own
// way (a download writes the incomplete mark), then run() returns Cancelled.
class Operation : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The progress window's label when the operation starts.
    virtual QString label() const = 0;
    virtual Outcome run() = 0;

    void cancel() { m_cancelRequested = true; }
    bool cancelRequested() const { return m_cancelRequested; }

Q_SIGNALS:
    void progressChanged(int percent);
    void labelChanged(const QString& text);
    // A message is shown while the operation runs: the progress window steps aside
    // (shown false) and, when the rest still may be cancelled, comes back (shown true).
    void progressShown(bool shown);

private:
    bool m_cancelRequested = false;
};

#pragma once

#include <QString>

// How a long operation on the controller ended. `reason` is the message that told the
// user why it did not complete (empty when it completed, or when a message shown on the
// way already said so).
struct Outcome
{
    enum class Kind
    {
        Completed,
        Refused, // said why; nothing was written
        Failed,
        Cancelled,
        PortLost
    };
    static constexpr Kind Completed = Kind::Completed;
    static constexpr Kind Refused = Kind::Refused;
    static constexpr Kind Failed = Kind::Failed;
    static constexpr Kind Cancelled = Kind::Cancelled;
    static constexpr Kind PortLost = Kind::PortLost;

    Kind kind = Kind::Refused;
    QString reason;

    Outcome(Kind k = Kind::Refused, const QString& why = QString())
        : kind(k)
        , reason(why)
    {
    }
    bool operator==(Kind k) const { return kind == k; }
    // "completed", "refused", "failed", "cancelled" or "port lost", and the reason.
    QString text() const
    {
        static const char* const names[]
            = { "completed", "refused", "failed", "cancelled", "port lost" };
        const QString name = QLatin1String(names[int(kind)]);
        return reason.isEmpty() ? name : name + QStringLiteral(": ") + reason;
    }
};

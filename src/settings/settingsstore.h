#pragma once

#include <QHash>
#include <QString>
#include <QVariant>
#include <optional>

// The per-user settings store that stands in for the registry: one key path with
// typed values (32-bit numbers and strings) in a human-readable JSON file, replaced
// atomically on every write.
class SettingsStore
{
public:
    static inline const QString KeyPath = QStringLiteral("SOFTWARE\\Quorvanta\\ZAZIRUV\\1.5");

    explicit SettingsStore(QString path);

    // --settings FILE when given, else $ZAZIRUV_SETTINGS, else the platform's
    // configuration location (Linux: $XDG_CONFIG_HOME or ~/.config, under
    // Quorvanta/ZAZIRUV).
    static QString resolvePath(const QString& option);

    QString path() const { return m_path; }

    // Opening the key for reading: false when the file or the key does not exist.
    bool openForRead();
    // A 32-bit number value; empty when missing, of another type, or unreadable.
    std::optional<qint32> readNumber(const QString& name);
    // A string value; empty when missing, of another type, unreadable, or when it
    // would not fit a buffer of bufferBytes bytes with its terminating NUL.
    std::optional<QString> readString(const QString& name, int bufferBytes);

    // Writes are collected and committed together; commit() returns false when the
    // file cannot be written (the key cannot be created).
    bool beginWrite();
    void setNumber(const QString& name, qint32 value);
    void setString(const QString& name, const QString& value);
    void remove(const QString& name);
    bool commit();

    // Why the last read or commit failed, for messages.
    QString lastError() const { return m_error; }

private:
    QString m_path;
    QString m_error;
};

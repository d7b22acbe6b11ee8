#pragma once

#include <QJsonObject>
#include <QLockFile>
#include <QString>
#include <optional>

// The per-user settings store that stands in for the registry: one key path with
// typed values (32-bit numbers and strings) in a human-readable JSON file, replaced
// atomically on every write.
//
// File layout:
//   { "key": "SOFTWARE\\Quorvanta\\ZAZIRUV\\1.5",
//     "values": { "ComPort": 2, "CheckSum": "False", ... } }
// A JSON number is a 32-bit number value (a whole number from -2147483648 to
// 2147483647), a JSON string a string value; anything else is a value of another
// type, which reads as missing. Top-level entries and values this program does not
// know are kept on every write.
//
// A write holds the lock file path() + ".lock" from beginWrite to commit, so two
// programs changing the store at the same moment both keep their change.
class SettingsStore
{
public:
    static inline const QString KeyPath = QStringLiteral("SOFTWARE\\Quorvanta\\ZAZIRUV\\1.5");
    // Larger files are not read at all (they count as unreadable).
    static constexpr qint64 MaxFileBytes = 1024 * 1024;

    explicit SettingsStore(QString path);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // --settings FILE when given, else $ZAZIRUV_SETTINGS, else the platform's
    // configuration location (Linux: $XDG_CONFIG_HOME or ~/.config, under
    // Quorvanta/ZAZIRUV).
    static QString resolvePath(const QString& option);

    QString path() const { return m_path; }

    // Opening the key for reading: false when the file does not exist (or the path
    // names something other than a file). A file that exists but cannot be read or
    // does not parse opens, and then every read from it fails.
    bool openForRead();
    // A 32-bit number value; empty when missing, of another type, or unreadable.
    std::optional<qint32> readNumber(const QString& name);
    // A string value; empty when missing, of another type, unreadable, or when it
    // would not fit a buffer of bufferBytes bytes with its terminating NUL.
    std::optional<QString> readString(const QString& name, int bufferBytes);

    // Writes are collected and committed together; beginWrite() and commit() return
    // false when the file cannot be written (the key cannot be created), when another
    // writer holds the lock longer than the lock wait, or when the result would be
    // larger than MaxFileBytes. The values already stored are kept unless set or
    // removed here. A file that does not parse is replaced, after a copy of it has
    // been kept as path() + ".corrupt".
    bool beginWrite();
    // After beginWrite: the file did not exist when the write began (read under the
    // lock, so another writer cannot have created it since).
    bool writesNewFile() const { return m_newFile; }
    void setNumber(const QString& name, qint32 value);
    void setString(const QString& name, const QString& value);
    void remove(const QString& name);
    bool commit();

    // Why the last read or commit failed, for messages.
    QString lastError() const { return m_error; }

    // How long beginWrite waits for another writer's lock, in milliseconds.
    void setLockWait(int ms) { m_lockWaitMs = ms; }

private:
    enum class Load
    {
        Missing,
        Unreadable,
        Ok
    };
    // Reads and checks the whole file into m_doc/m_values.
    Load load();
    // Temporary files of writers killed before they could rename them.
    void removeLeftovers() const;
    bool write();

    QString m_path;
    QString m_error;
    bool m_readOpen = false; // openForRead succeeded and the file parsed
    bool m_writing = false; // between beginWrite and commit
    bool m_replaceCorrupt = false; // the file on disk does not parse: keep a copy first
    bool m_newFile = false;
    QJsonObject m_doc; // the whole file as last loaded (or being written)
    QJsonObject m_values; // its "values" object
    QLockFile m_lock;
    int m_lockWaitMs = 10000;
};

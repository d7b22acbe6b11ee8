#include "settingsstore.h"

#include "core/wholefile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonValue>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cmath>
#include <limits>

namespace {

const QString KeyEntry = QStringLiteral("key");
const QString ValuesEntry = QStringLiteral("values");

} // namespace

SettingsStore::SettingsStore(QString path)
    : m_path(std::move(path))
    , m_lock(m_path + QStringLiteral(".lock"))
{
    // A writer holds the lock for milliseconds; one older than this was left by a
    // writer that died on another machine sharing the file (a dead local writer's
    // lock is recognised by its process id at once).
    m_lock.setStaleLockTime(60 * 1000);
}

SettingsStore::~SettingsStore()
{
    if (m_lock.isLocked())
        m_lock.unlock();
}

QString SettingsStore::resolvePath(const QString& option)
{
    if (!option.isEmpty())
        return option;
    const QString env = qEnvironmentVariable("ZAZIRUV_SETTINGS");
    if (!env.isEmpty())
        return env;
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir::toNativeSeparators(base + QStringLiteral("/Quorvanta/ZAZIRUV/settings.json"));
}

SettingsStore::Load SettingsStore::load()
{
    m_doc = {};
    m_values = {};
    const QFileInfo info(m_path);
    if (!info.exists() || !info.isFile()) {
        m_error = info.exists() ? QStringLiteral("%1 is not a file").arg(m_path)
                                : QStringLiteral("%1 does not exist").arg(m_path);
        return Load::Missing;
    }
    if (info.size() > MaxFileBytes) {
        m_error = QStringLiteral("%1 is larger than %2 bytes").arg(m_path).arg(MaxFileBytes);
        return Load::Unreadable;
    }
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("%1: %2").arg(m_path, file.errorString());
        return Load::Unreadable;
    }
    // Read one byte past the limit so a file that grew since the size check is caught.
    const QByteArray bytes = file.read(MaxFileBytes + 1);
    if (bytes.size() > MaxFileBytes) {
        m_error = QStringLiteral("%1 is larger than %2 bytes").arg(m_path).arg(MaxFileBytes);
        return Load::Unreadable;
    }
    QJsonParseError parseError {};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        m_error = parseError.error != QJsonParseError::NoError
            ? QStringLiteral("%1: %2 at byte %3")
                  .arg(m_path, parseError.errorString())
                  .arg(parseError.offset)
            : QStringLiteral("%1: not a JSON object").arg(m_path);
        return Load::Unreadable;
    }
    const QJsonObject top = doc.object();
    if (top.value(KeyEntry).toString() != KeyPath) {
        m_error = QStringLiteral("%1 does not hold the key %2").arg(m_path, KeyPath);
        return Load::Unreadable;
    }
    if (!top.value(ValuesEntry).isObject()) {
        m_error = QStringLiteral("%1: \"values\" is not an object").arg(m_path);
        return Load::Unreadable;
    }
    m_doc = top;
    m_values = top.value(ValuesEntry).toObject();
    return Load::Ok;
}

bool SettingsStore::openForRead()
{
    m_readOpen = false;
    const Load result = load();
    if (result == Load::Missing)
        return false;
    m_readOpen = result == Load::Ok;
    return true;
}

std::optional<qint32> SettingsStore::readNumber(const QString& name)
{
    if (!m_readOpen)
        return std::nullopt;
    const QJsonValue value = m_values.value(name);
    if (!value.isDouble()) {
        m_error = QStringLiteral("%1 is missing or not a number").arg(name);
        return std::nullopt;
    }
    // Integers that fit 64 bits arrive exactly; anything else as a double, which must
    // be a whole number in range too.
    const QVariant v = value.toVariant();
    if (v.typeId() == QMetaType::LongLong) {
        const qlonglong n = v.toLongLong();
        if (n >= std::numeric_limits<qint32>::min() && n <= std::numeric_limits<qint32>::max())
            return qint32(n);
    } else {
        const double d = value.toDouble();
        if (std::isfinite(d) && d == std::floor(d) && d >= std::numeric_limits<qint32>::min()
            && d <= std::numeric_limits<qint32>::max())
            return qint32(d);
    }
    m_error = QStringLiteral("%1 is not a 32-bit whole number").arg(name);
    return std::nullopt;
}

std::optional<QString> SettingsStore::readString(const QString& name, int bufferBytes)
{
    if (!m_readOpen)
        return std::nullopt;
    const QJsonValue value = m_values.value(name);
    if (!value.isString()) {
        m_error = QStringLiteral("%1 is missing or not a string").arg(name);
        return std::nullopt;
    }
    // One byte per character, as the 8-bit strings of the key; the terminating NUL
    // takes the last byte of the buffer.
    const QString text = value.toString();
    if (text.size() + 1 > bufferBytes) {
        m_error = QStringLiteral("%1 is longer than %2 characters").arg(name).arg(bufferBytes - 1);
        return std::nullopt;
    }
    return text;
}

bool SettingsStore::beginWrite()
{
    m_writing = false;
    m_readOpen = false;
    m_replaceCorrupt = false;
    if (QFileInfo(m_path).isDir()) {
        m_error = QStringLiteral("%1 is not a file").arg(m_path);
        return false;
    }
    const QString dir = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(dir)) {
        m_error = QStringLiteral("cannot create the directory %1").arg(dir);
        return false;
    }
    // The read, the change and the write form one step: a second writer waits here
    // and then reads what the first one wrote.
    if (!m_lock.isLocked() && !m_lock.tryLock(m_lockWaitMs)) {
        m_error = m_lock.error() == QLockFile::LockFailedError
            ? QStringLiteral("%1 is being written by another program").arg(m_path)
            : QStringLiteral("cannot create the lock file %1.lock").arg(m_path);
        return false;
    }
    const Load result = load();
    if (result == Load::Unreadable) {
        if (QFileInfo(m_path).isReadable() && QFileInfo(m_path).size() <= MaxFileBytes) {
            // The file reads but does not parse: it is replaced, but kept aside first.
            m_replaceCorrupt = true;
        } else {
            // What cannot be read cannot be merged with; refusing keeps it intact.
            m_lock.unlock();
            return false;
        }
    } else if (result == Load::Missing && QFileInfo::exists(m_path)) {
        m_lock.unlock();
        return false; // a device or the like where the file should be
    }
    m_doc.insert(KeyEntry, KeyPath);
    m_newFile = result == Load::Missing;
    m_writing = true;
    return true;
}

void SettingsStore::setNumber(const QString& name, qint32 value)
{
    m_values.insert(name, qint64(value));
}

void SettingsStore::setString(const QString& name, const QString& value)
{
    m_values.insert(name, value);
}

void SettingsStore::remove(const QString& name)
{
    m_values.remove(name);
}

void SettingsStore::removeLeftovers() const
{
    // QSaveFile names its temporary file after the target plus a dot and six letters
    // or digits; only a writer killed between writing and renaming leaves one.
    const QFileInfo target(m_path);
    static const QRegularExpression suffix(QStringLiteral("^\\.[A-Za-z0-9]{6}$"));
    QDirIterator it(target.absolutePath(), { target.fileName() + QStringLiteral(".*") },
        QDir::Files | QDir::Hidden);
    while (it.hasNext()) {
        const QString name = it.next();
        if (suffix.match(QStringView(it.fileName()).sliced(target.fileName().size())).hasMatch())
            QFile::remove(name);
    }
}

bool SettingsStore::commit()
{
    if (!m_writing)
        return false;
    m_writing = false;
    const bool ok = write();
    m_lock.unlock();
    return ok;
}

bool SettingsStore::write()
{
    m_doc.insert(ValuesEntry, m_values);
    const QByteArray bytes = QJsonDocument(m_doc).toJson(QJsonDocument::Indented);
    if (bytes.size() > MaxFileBytes) {
        // The loader would refuse the file from then on: keep the one that loads.
        m_error = QStringLiteral("%1 would be larger than %2 bytes").arg(m_path).arg(MaxFileBytes);
        return false;
    }
    removeLeftovers();
    if (m_replaceCorrupt) {
        const QString aside = m_path + QStringLiteral(".corrupt");
        QFile::remove(aside);
        if (!QFile::copy(m_path, aside)) {
            m_error = QStringLiteral("cannot keep a copy of %1 as %2").arg(m_path, aside);
            return false;
        }
    }
    QString why;
    if (!writeFileAtomically(m_path, bytes, &why)) {
        m_error = QStringLiteral("%1: %2").arg(m_path, why);
        return false;
    }
    m_replaceCorrupt = false;
    return true;
}

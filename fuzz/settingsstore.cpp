// The settings file is the user's to edit: any bytes at all.

#include "settings/settingsstore.h"
#include "fuzzsupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <optional>
#include <utility>

namespace {

using Reading = std::pair<std::optional<qint32>, std::optional<QString>>;

QList<Reading> readAll(const QString& path, const QStringList& names)
{
    SettingsStore store(path);
    FUZZ_CHECK(store.openForRead());
    QList<Reading> out;
    for (const QString& name : names)
        out.append({ store.readNumber(name), store.readString(name, 1 << 20) });
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = scratchDir() + QStringLiteral("/settings.json");
    const QString aside = path + QStringLiteral(".corrupt");
    QFile::remove(aside);
    const QByteArrayView bytes = fuzzBytes(data, size);
    putFile(path, bytes);

    QStringList names { QStringLiteral("ComPort"), QStringLiteral("CheckSum") };
    const QJsonValue values
        = QJsonDocument::fromJson(bytes.toByteArray()).object().value(QStringLiteral("values"));
    names += values.toObject().keys();
    const QList<Reading> before = readAll(path, names);

    // A rewrite that sets nothing reads back as the file read before it; a file that
    // did not parse is kept aside byte for byte.
    SettingsStore store(path);
    FUZZ_CHECK(store.beginWrite() && store.commit());
    FUZZ_CHECK(!QFile::exists(aside) || fileBytes(aside) == bytes);
    FUZZ_CHECK(readAll(path, names) == before);

    // What was read, written back, reads the same.
    FUZZ_CHECK(store.beginWrite());
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (before[i].first)
            store.setNumber(names[i], *before[i].first);
        else if (before[i].second)
            store.setString(names[i], *before[i].second);
    }
    FUZZ_CHECK(store.commit());
    FUZZ_CHECK(readAll(path, names) == before);
    return 0;
}

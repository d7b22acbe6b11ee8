#include "clicontext.h"

#include "settings/settings.h"
#include "settings/settingsstore.h"

#include <cstdio>

CliContext::CliContext() = default;
CliContext::~CliContext() = default;

SettingsStore& CliContext::store()
{
    if (!m_store)
        m_store = std::make_unique<SettingsStore>(SettingsStore::resolvePath(settingsPath));
    return *m_store;
}

Settings& CliContext::settings()
{
    if (!m_settings) {
        m_settings = std::make_unique<Settings>(store(), prompter);
        m_settings->ReadSettings();
        m_settings->ReadWorkingDir();
    }
    return *m_settings;
}

void CliContext::error(const QString& text)
{
    std::fprintf(stderr, "zaziruv-cli: %s\n", qPrintable(text));
    std::fflush(stderr);
}

bool takeOption(QStringList& args, const QString& name, QString& value, bool& present)
{
    present = false;
    const qsizetype i = args.indexOf(name);
    if (i < 0) {
        // --name=value form
        for (qsizetype k = 0; k < args.size(); ++k) {
            if (args[k].startsWith(name + QLatin1Char('='))) {
                value = args[k].mid(name.size() + 1);
                args.removeAt(k);
                present = true;
                return true;
            }
        }
        return true;
    }
    if (i + 1 >= args.size()) {
        CliContext::error(QStringLiteral("%1 needs a value").arg(name));
        return false;
    }
    value = args[i + 1];
    args.remove(i, 2);
    present = true;
    return true;
}

bool takeFlag(QStringList& args, const QString& name)
{
    return args.removeAll(name) > 0;
}

QString firstUnknownOption(const QStringList& args)
{
    for (const QString& a : args) {
        if (a.startsWith(QLatin1String("--")))
            return a;
    }
    return {};
}

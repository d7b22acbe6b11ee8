#pragma once

// The configuration window's logic over a private settings store.

#include "../common/corerig.h"
#include "../common/simprocess.h"
#include "../settings/storedvalues.h"

#include "core/prompter.h"
#include "config/portprobe.h"
#include "config/configuration.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "terminal/terminalcore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <array>
#include <memory>

// The main window's logic and the configuration window's, loaded from a store with
// the given port mapping.
class ConfigRig : public CoreRig
{
public:
    explicit ConfigRig(
        const std::array<QString, 9>& devices, int comPort = 2, const QJsonObject& extra = {})
        : storePath(dir.filePath(QStringLiteral("settings.json")))
        , workDir(dir.filePath(QStringLiteral("work")))
    {
        QDir().mkpath(workDir);
        writeFile(storePath, storeText(devices, comPort, workDir, extra));
        probe = std::make_unique<PortProbe>(*core, prompter);
        config = std::make_unique<ConfigurationCore>(*core, *probe);
        core->load();
    }
    ~ConfigRig()
    {
        config.reset();
        probe.reset();
    }

    QJsonObject stored() const { return storedValues(storePath); }

    QString storePath;
    QString workDir;
    std::unique_ptr<PortProbe> probe;
    std::unique_ptr<ConfigurationCore> config;
};

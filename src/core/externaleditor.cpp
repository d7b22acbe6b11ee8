#include "core/externaleditor.h"
#include "core/wholefile.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

ExternalEditor::ExternalEditor()
    : starter([](const QString& program, const QStringList& arguments) {
        return QProcess::startDetached(program, arguments);
    })
    , finder([](const QString& name) { return QStandardPaths::findExecutable(name); })
    , environment([](const char* name) { return qEnvironmentVariable(name); })
{
}

ExternalEditor::Launch ExternalEditor::launchFor(const QString& path) const
{
    Launch l;
    const QStringList args = path.isEmpty() ? QStringList() : QStringList { path };
    for (const QString& named : { configured, environment("ZAZIRUV_EDITOR"), environment("VISUAL") }) {
        if (!named.trimmed().isEmpty()) {
            l.program = named.trimmed();
            l.arguments = args;
            return l;
        }
    }
#if defined(Q_OS_WIN)
    l.program = QStringLiteral("notepad");
    l.arguments = args;
#elif defined(Q_OS_MACOS)
    l.program = QStringLiteral("open");
    l.arguments = QStringList { QStringLiteral("-t") } + args;
    if (path.isEmpty())
        l.arguments = QStringList { QStringLiteral("-a"), QStringLiteral("TextEdit") };
#else
    // Editors that open a window of their own, in order of preference.
    static const char* const graphical[] = { "gnome-text-editor", "gedit", "kate", "kwrite", "mousepad",
        "pluma", "xed", "featherpad", "leafpad", "geany" };
    for (const char* name : graphical) {
        const QString found = finder(QLatin1String(name));
        if (!found.isEmpty()) {
            l.program = found;
            l.arguments = args;
            return l;
        }
    }
    if (!path.isEmpty()) {
        const QString opener = finder(QStringLiteral("xdg-open"));
        if (!opener.isEmpty()) {
            l.program = opener;
            l.arguments = args;
            l.createFirst = true;
        }
    }
#endif
    return l;
}

bool ExternalEditor::open(const QString& path, QString* why)
{
    const Launch l = launchFor(path);
    if (l.program.isEmpty()) {
        if (why)
            *why = QStringLiteral("No text editor was found. Name one in the environment variable ZAZIRUV_EDITOR.");
        return false;
    }
    if (l.createFirst && !QFileInfo::exists(path)) {
        QString reason;
        if (!writeFileAtomically(path, {}, &reason)) {
            if (why)
                *why = QStringLiteral("The file %1 could not be created: %2").arg(path, reason);
            return false;
        }
    }
    if (!starter(l.program, l.arguments)) {
        if (why)
            *why = QStringLiteral("The editor \"%1\" could not be started.").arg(l.program);
        return false;
    }
    return true;
}

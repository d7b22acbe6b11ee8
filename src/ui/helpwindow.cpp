#include "helpwindow.h"

#include "core/prompter.h"
#include "core/wholefile.h"
#include "rtf/rtfreader.h"
#include "rtf/rtfwriter.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextEdit>
#include <QVBoxLayout>

HelpWindow::HelpWindow(Prompter& prompter, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_prompter(prompter)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Help "));
    m_text1 = new QTextEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setAcceptRichText(true);
    m_command1 = new QPushButton(QStringLiteral("Save"), this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(m_command1);
    auto* l = new QVBoxLayout(this);
    l->addWidget(m_text1, 1);
    l->addLayout(row);
    resize(720, 560);
    connect(m_command1, &QPushButton::clicked, this, &HelpWindow::saveChanges);
}

QString HelpWindow::documentName(bool downloadWindowInUse)
{
    return downloadWindowInUse ? QStringLiteral("helpEEloader.rtf") : QStringLiteral("help.rtf");
}

QStringList HelpWindow::defaultShippedDirectories()
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    QStringList dirs { exeDir, QDir::cleanPath(exeDir + QStringLiteral("/../share/zaziruv")) };
    // The writable entry is the user's own folder, not a place things are shipped to.
    const QString userShare = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    for (const QString& d :
        QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        if (d != userShare)
            dirs.append(d + QStringLiteral("/zaziruv"));
    }
    dirs.removeDuplicates();
    return dirs;
}

QString HelpWindow::userDirectory()
{
    const QString overridden = qEnvironmentVariable("ZAZIRUV_DATA_DIR");
    return overridden.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                                : overridden;
}

QString HelpWindow::documentPath(const QString& name, const QStringList& shippedDirectories)
{
    const QString user = QDir(userDirectory()).filePath(name);
    if (QFileInfo(user).isFile())
        return user;
    for (const QString& d : shippedDirectories) {
        const QString shipped = QDir(d).filePath(name);
        if (QFileInfo(shipped).isFile())
            return shipped;
    }
    return {};
}

void HelpWindow::load(bool downloadWindowInUse)
{
    m_name = documentName(downloadWindowInUse);
    m_loadedFrom = documentPath(m_name, m_shippedDirectories);
    QByteArray bytes;
    if (!m_loadedFrom.isEmpty()) {
        QString why;
        if (const auto read = readRegularFile(m_loadedFrom, MaxDocumentBytes, &why)) {
            bytes = *read;
        } else {
            m_prompter.message(QStringLiteral("The help document \"%1\" was not shown: %2")
                                   .arg(QDir::toNativeSeparators(m_loadedFrom), why),
                PromptIcon::Exclamation);
            m_loadedFrom.clear();
        }
    }
    rtf::read(bytes, *m_text1->document());
    m_text1->moveCursor(QTextCursor::Start);
}

void HelpWindow::saveChanges()
{
    const QString dir = userDirectory();
    const QString path = QDir(dir).filePath(m_name);
    QString why;
    if (dir.isEmpty() || !QDir().mkpath(dir)) {
        why = QStringLiteral("the folder \"%1\" cannot be created").arg(dir);
    } else {
        writeFileAtomically(path, rtf::write(*m_text1->document()), &why);
    }
    if (!why.isEmpty()) {
        m_prompter.message(QStringLiteral("The changes were not saved to \"%1\": %2")
                               .arg(QDir::toNativeSeparators(path), why),
            PromptIcon::Exclamation);
        return;
    }
    m_loadedFrom = path;
    m_prompter.message(QStringLiteral("changes saved"));
}

void HelpWindow::closeEvent(QCloseEvent* e)
{
    Q_EMIT closed();
    QWidget::closeEvent(e);
}

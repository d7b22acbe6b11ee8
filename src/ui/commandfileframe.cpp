#include "ui/commandfileframe.h"

#include "cmdrun/commandfilerunner.h"
#include "terminal/terminalcore.h"

#include <QListWidget>
#include <QPushButton>

void bindCommandFileFrame(MainWindow& window, CommandFileRunner& runner)
{
    TerminalCore& core = window.core();
    const MainWindow::CommandFileControls& c = window.commandFileButtons();
    QObject::connect(c.fileList, &QListWidget::itemClicked, &runner,
        [&runner, list = c.fileList](
            QListWidgetItem* item) { runner.selectCommandFile(list->row(item)); });
    QObject::connect(
        c.newFileButton, &QPushButton::clicked, &runner, &CommandFileRunner::newCommandFile);
    QObject::connect(
        c.editButton, &QPushButton::clicked, &runner, &CommandFileRunner::editCommandFile);
    QObject::connect(
        c.deleteButton, &QPushButton::clicked, &runner, &CommandFileRunner::deleteCommandFile);
    QObject::connect(
        c.executeButton, &QPushButton::clicked, &runner, &CommandFileRunner::executeCommandFile);
    QObject::connect(
        c.pauseButton, &QPushButton::clicked, &runner, &CommandFileRunner::pauseCommandFile);
    QObject::connect(c.cancelButton, &QPushButton::clicked, &core, &TerminalCore::cancelCommandFile);
    QObject::connect(c.downloadFileButton, &QPushButton::clicked, &runner,
        &CommandFileRunner::downloadSelectedFile);
    core.setEnabled(
        { &TerminalCore::Controls::PauseCmd, &TerminalCore::Controls::CancelCmd }, false);
}

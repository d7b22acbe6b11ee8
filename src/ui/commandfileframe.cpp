#include "ui/commandfileframe.h"

#include "cmdrun/commandfilerunner.h"
#include "terminal/terminalcore.h"

#include <QListWidget>
#include <QPushButton>

void bindCommandFileFrame(main2& window, CommandFileRunner& runner)
{
    TerminalCore& core = window.core();
    const main2::CommandFileControls& c = window.commandFileButtons();
    QObject::connect(c.Filelist, &QListWidget::itemClicked, &runner,
        [&runner, list = c.Filelist](QListWidgetItem* item) { runner.Filelist_Click(list->row(item)); });
    QObject::connect(c.Command3, &QPushButton::clicked, &runner, &CommandFileRunner::Command3_Click);
    QObject::connect(c.EditCmd, &QPushButton::clicked, &runner, &CommandFileRunner::EditCmd_Click);
    QObject::connect(c.DeleteCmd, &QPushButton::clicked, &runner, &CommandFileRunner::DeleteCmd_Click);
    QObject::connect(c.ExecuteCmdFile, &QPushButton::clicked, &runner, &CommandFileRunner::ExecuteCmdFile_Click);
    QObject::connect(c.PauseCmd, &QPushButton::clicked, &runner, &CommandFileRunner::PauseCmd_Click);
    QObject::connect(c.CancelCmd, &QPushButton::clicked, &core, &TerminalCore::CancelCmd_Click);
    QObject::connect(c.Command2, &QPushButton::clicked, &runner, &CommandFileRunner::Command2_Click);
    core.setControlEnabled(QStringLiteral("PauseCmd"), false);
    core.setControlEnabled(QStringLiteral("CancelCmd"), false);
}

#pragma once

#include "ui/mainwindow.h"

class CommandFileRunner;

// Connects the main window's command file frame (list, New, Edit, Delete, Execute,
// Pause, Cancel, Download File) to the runner, and puts Pause and Cancel in their idle
// state (disabled until a run starts).
void bindCommandFileFrame(MainWindow& window, CommandFileRunner& runner);

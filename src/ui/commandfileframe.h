#pragma once

#include "ui/main2.h"

class CommandFileRunner;

// Connects the main window's command file frame (list, New, Edit, Delete, Execute,
// Pause, Cancel, Download File) to the runner, and puts Pause and Cancel in their idle
// state (disabled until a run starts).
void bindCommandFileFrame(main2& window, CommandFileRunner& runner);

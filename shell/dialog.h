// The program's dialog layer: zenity when it is on the PATH and can run,
// else the terminal when standard input is one, else nothing (the dialog
// counts as cancelled and messages go to standard error).
#pragma once

#include "shell/cartridge.h"

extern const DialogLayer desktop_dialog;

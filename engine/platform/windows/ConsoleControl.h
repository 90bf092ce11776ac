#pragma once

#include <windows.h>

namespace quernfold {

/**
 * What Windows calls, on a thread of its own, for Ctrl-C, Ctrl-Break, a closed console window, a logoff or a
 * shutdown while a StopSignals is installed. Declared here so that tests can call it for the events they cannot
 * cause (no program may close another's console window, and Wine sends no Ctrl-Break).
 */
BOOL WINAPI OnConsoleControl(DWORD event);

}  // namespace quernfold

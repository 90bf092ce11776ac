#include "engine/platform/StopSignals.h"

#include "engine/platform/windows/ConsoleControl.h"

#include <windows.h>

#include <cstdio>

namespace quernfold {

namespace {

// What the console's control thread may touch: lock-free atomics and the event.
std::atomic<bool>* g_stopRequested = nullptr;
std::atomic<int> g_first{0};
HANDLE g_finished = nullptr;

// The statuses a shell shows on Linux for the same stops: Ctrl-C as SIGINT (130), the rest as SIGTERM (143).
constexpr int kInterrupt = 2;
constexpr int kTerminate = 15;

// Windows ends the process about 5 s after the handler is called for a closed window, a logoff or a shutdown.
constexpr DWORD kCloseGrace = 4500;

}  // namespace

BOOL WINAPI OnConsoleControl(DWORD event) {
    const int stop = event == CTRL_C_EVENT ? kInterrupt : kTerminate;
    int none = 0;
    if (!g_first.compare_exchange_strong(none, stop)) {
        // A second stop: no more waiting. What is published is whole (files are moved into place complete).
        ::ExitProcess(128 + stop);
    }
    if (g_stopRequested) g_stopRequested->store(true);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Returning lets Windows end the process at once: wait until the run has written its summary and log.
        ::WaitForSingleObject(g_finished, kCloseGrace);
    }
    return TRUE;
}

StopSignals::StopSignals(std::atomic<bool>& stopRequested) {
    g_stopRequested = &stopRequested;
    g_first = 0;
    // One event for the program's life: a close handler may still be waiting on it when an instance ends.
    if (g_finished) {
        ::ResetEvent(g_finished);
    } else {
        g_finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

StopSignals::~StopSignals() {
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    if (g_finished) ::SetEvent(g_finished);
    g_stopRequested = nullptr;
}

int StopSignals::Received() const { return g_first; }

void StopSignals::EndByReceivedSignal() {
    std::fflush(nullptr);
    ::ExitProcess(static_cast<UINT>(128 + g_first.load()));
}

}  // namespace quernfold

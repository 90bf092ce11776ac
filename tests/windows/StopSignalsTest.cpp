// The console's stop events, delivered straight to the handler: no test can close a console window, and Wine
// sends no Ctrl-Break. The whole program stopped by a real Ctrl-C is in ConsoleStopTest; the status it ends with
// is 128 + what Received() says, as after Ctrl-C.
#include "engine/platform/StopSignals.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "engine/platform/windows/ConsoleControl.h"

namespace quernfold {
namespace {

using Clock = std::chrono::steady_clock;

struct StopEvent {
    const char* label;
    DWORD event;
    int received;         // what the run is told it got: 2 as SIGINT, 15 as SIGTERM
    bool waitsForTheRun;  // Windows ends the process when the handler returns
};

class ConsoleStopEvent : public testing::TestWithParam<StopEvent> {};

TEST_P(ConsoleStopEvent, StopsTheRunAndWaitsForItOnlyWhenWindowsWouldEndTheProcess) {
    const StopEvent& c = GetParam();
    std::atomic<bool> stopRequested{false};
    std::optional<StopSignals> signals;
    signals.emplace(stopRequested);
    EXPECT_EQ(signals->Received(), 0);

    std::atomic<bool> returned{false};
    BOOL handled = FALSE;
    std::thread console([&] {
        handled = OnConsoleControl(c.event);
        returned = true;
    });
    // The stop request comes at once, whatever the event.
    const Clock::time_point called = Clock::now();
    while (!stopRequested && Clock::now() - called < std::chrono::seconds(5)) std::this_thread::yield();
    EXPECT_TRUE(stopRequested.load());
    EXPECT_EQ(signals->Received(), c.received);

    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(returned.load(), !c.waitsForTheRun) << "after 300 ms";
    // The run ends (summary and log written): a waiting handler lets Windows go on at once.
    const Clock::time_point finished = Clock::now();
    signals.reset();
    console.join();
    EXPECT_LT(Clock::now() - finished, std::chrono::milliseconds(1500));
    EXPECT_TRUE(handled);

    // The next instance starts with no stop received.
    std::atomic<bool> nextStop{false};
    const StopSignals next(nextStop);
    EXPECT_EQ(next.Received(), 0);
    EXPECT_FALSE(nextStop.load());
}

INSTANTIATE_TEST_SUITE_P(Events, ConsoleStopEvent,
                         testing::Values(StopEvent{"CtrlC", CTRL_C_EVENT, 2, false},
                                         StopEvent{"CtrlBreak", CTRL_BREAK_EVENT, 15, false},
                                         StopEvent{"ConsoleClosed", CTRL_CLOSE_EVENT, 15, true},
                                         StopEvent{"Logoff", CTRL_LOGOFF_EVENT, 15, true},
                                         StopEvent{"Shutdown", CTRL_SHUTDOWN_EVENT, 15, true}),
                         [](const testing::TestParamInfo<StopEvent>& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace quernfold

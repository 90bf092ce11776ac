#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/log/Sinks.h"

namespace quernfold {

/**
 * The run's message boxes. Callable from the run's worker thread: the box is then shown on the window's thread
 * and the worker waits until it is closed, as the run expects of a modal box. While the window asks the user
 * something, the run's boxes wait (the run does not); afterwards they are shown or, when the window is about
 * to close, dropped with every later one.
 */
class RunBoxes final : public MessageSink {
public:
    using Show = std::function<void(const std::string& text, const std::string& title, MessageIcon icon)>;
    using Post = std::function<void(std::function<void()>)>;

    /** Built on the window's thread; post runs a call there later, show shows one box. */
    RunBoxes(Show show, Post post);

    void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) override;

    // The window's thread only.
    void Hold() { m_holding = true; }
    void ShowHeld();
    void Drop();
    /** A new run: its boxes are shown again. */
    void Reset();

private:
    struct Box {
        std::string text;
        std::string title;
        MessageIcon icon;
    };
    void Arrive(const Box& box);

    Show m_show;
    Post m_post;
    std::thread::id m_windowThread;
    bool m_holding = false;
    bool m_dropping = false;
    std::vector<Box> m_held;
};

}  // namespace quernfold

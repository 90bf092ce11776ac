#include "tests/uicore/FakeWindowView.h"

namespace quernfold::test_support {

void RecordingLog::ClearLog() {
    std::lock_guard lock(m_mutex);
    m_text.clear();
}

void RecordingLog::AppendLog(std::string_view line) {
    std::unique_lock lock(m_mutex);
    m_text += "\r\n";
    m_text += line;
    if (!m_holdAt.empty() && !m_holding && line.starts_with(m_holdAt)) {
        m_holding = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_released; });
    }
}

void RecordingLog::HoldAt(std::string prefix) {
    std::lock_guard lock(m_mutex);
    m_holdAt = std::move(prefix);
}

bool RecordingLog::WaitUntilHeld(std::chrono::seconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_holding; });
}

void RecordingLog::Release() {
    {
        std::lock_guard lock(m_mutex);
        m_released = true;
    }
    m_changed.notify_all();
}

std::string RecordingLog::Text() const {
    std::lock_guard lock(m_mutex);
    return m_text;
}

void RecordingProgress::SetRange(long long minimum, long long maximum) {
    std::lock_guard lock(m_mutex);
    m_calls.push_back("range " + std::to_string(minimum) + " " + std::to_string(maximum));
}

void RecordingProgress::SetVisible(bool visible) {
    std::lock_guard lock(m_mutex);
    m_calls.push_back(visible ? "show" : "hide");
}

void RecordingProgress::SetValue(long long value) {
    std::lock_guard lock(m_mutex);
    m_calls.push_back("value " + std::to_string(value));
}

std::vector<std::string> RecordingProgress::Calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

void FakeWindowView::ShowSourceTypes(const std::vector<std::string>& items, int selected) {
    sourceItems = items;
    sourceType = items.at(static_cast<std::size_t>(selected));
}

void FakeWindowView::ShowOutputTypes(const std::vector<std::string>& items, int selected) {
    outputItems = items;
    outputType = items.at(static_cast<std::size_t>(selected));
}

void FakeWindowView::ShowConverting(bool on) {
    converting = on;
    convertingShown.push_back(on);
}

std::string FakeWindowView::PickFolder(const std::string& title, const std::string& boxText) {
    pickerTitles.push_back(title);
    pickerStarts.push_back(boxText);
    if (pickerAnswers.empty()) return "";
    std::string answer = pickerAnswers.front();
    pickerAnswers.pop_front();
    return answer;
}

void FakeWindowView::ShowBox(const std::string& text, const std::string& title, MessageIcon icon) {
    boxes.push_back(Box{text, title, icon, converting, m_log.Text()});
    if (onBox) onBox(boxes.back());
}

bool FakeWindowView::Ask(const std::string& text, const std::string& title) {
    questions.push_back(Box{text, title, MessageIcon::None, converting, m_log.Text()});
    return onAsk ? onAsk() : false;
}

void FakeWindowView::Post(std::function<void()> call) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(call));
    }
    m_posted.notify_one();
}

bool FakeWindowView::PumpUntil(const std::function<bool()>& done, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        std::function<void()> call;
        {
            std::unique_lock lock(m_mutex);
            if (!m_posted.wait_until(lock, deadline, [this] { return !m_queue.empty(); })) return false;
            call = std::move(m_queue.front());
            m_queue.pop_front();
        }
        call();
    }
    return true;
}

}  // namespace quernfold::test_support

#include "ui/core/RunBoxes.h"

#include <future>

namespace quernfold {

RunBoxes::RunBoxes(Show show, Post post)
    : m_show(std::move(show)), m_post(std::move(post)), m_windowThread(std::this_thread::get_id()) {}

void RunBoxes::ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) {
    const Box box{std::string(text), std::string(title), icon};
    if (std::this_thread::get_id() == m_windowThread) {
        Arrive(box);
        return;
    }
    std::promise<void> closed;
    std::future<void> waited = closed.get_future();
    m_post([this, &box, &closed] {
        Arrive(box);
        closed.set_value();
    });
    waited.wait();
}

void RunBoxes::Arrive(const Box& box) {
    if (m_dropping) return;
    if (m_holding) {
        m_held.push_back(box);
        return;
    }
    m_show(box.text, box.title, box.icon);
}

void RunBoxes::ShowHeld() {
    m_holding = false;
    std::vector<Box> held;
    held.swap(m_held);
    for (const Box& box : held) {
        if (!m_dropping) m_show(box.text, box.title, box.icon);
    }
}

void RunBoxes::Drop() {
    m_holding = false;
    m_dropping = true;
    m_held.clear();
}

void RunBoxes::Reset() {
    m_holding = false;
    m_dropping = false;
    m_held.clear();
}

}  // namespace quernfold

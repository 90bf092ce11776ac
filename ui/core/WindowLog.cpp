#include "ui/core/WindowLog.h"

#include <utility>

namespace quernfold {

void WindowLog::Clear() {
    std::lock_guard lock(m_mutex);
    // Lines queued before the clear would be wiped by it anyway.
    m_pendingLines.clear();
    m_clearPending = true;
}

void WindowLog::Append(std::string_view line) {
    std::lock_guard lock(m_mutex);
    m_pendingLines.emplace_back(line);
}

WindowLog::Batch WindowLog::Take() {
    Batch batch;
    {
        std::lock_guard lock(m_mutex);
        std::swap(batch.cleared, m_clearPending);
        batch.lines.swap(m_pendingLines);
    }
    if (batch.cleared) m_text.clear();
    for (const std::string& line : batch.lines) {
        m_text += "\r\n";
        m_text += line;
    }
    return batch;
}

}  // namespace quernfold

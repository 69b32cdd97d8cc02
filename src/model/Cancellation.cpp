// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "Cancellation.h"

#include <utility>

namespace norvane {

struct CancellationToken::State {
    bool cancelled = false;
    int nextId = 1;
    std::vector<std::pair<int, std::function<void()>>> callbacks;
};

bool CancellationToken::isCancelled() const {
    return m_state && m_state->cancelled;
}

int CancellationToken::onCancel(std::function<void()> callback) const {
    if (!m_state)
        return 0;
    if (m_state->cancelled) {
        callback();
        return 0;
    }
    const int id = m_state->nextId++;
    m_state->callbacks.emplace_back(id, std::move(callback));
    return id;
}

void CancellationToken::removeCallback(int id) const {
    if (!m_state || id == 0)
        return;
    std::erase_if(m_state->callbacks, [id](const auto& entry) { return entry.first == id; });
}

CancellationSource::CancellationSource() : m_state(std::make_shared<CancellationToken::State>()) {}

void CancellationSource::cancel() {
    if (m_state->cancelled)
        return;
    m_state->cancelled = true;
    // Callbacks may resume coroutines that register or remove callbacks: run from a detached list.
    auto callbacks = std::exchange(m_state->callbacks, {});
    for (auto& [id, callback] : callbacks)
        callback();
}

bool CancellationSource::isCancelled() const {
    return m_state->cancelled;
}

} // namespace norvane

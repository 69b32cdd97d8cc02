// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <functional>
#include <memory>
#include <vector>

namespace norvane {

class CancellationSource;

// A read-only view of a cancellation flag. A default token is never cancelled.
// Tokens are cheap to copy; coroutines take them by value and check them after every co_await.
class CancellationToken {
public:
    CancellationToken() = default;

    bool isCancelled() const;
    // Runs `callback` once when cancellation is requested (at once when it already was).
    // Returns an id for removeCallback().
    int onCancel(std::function<void()> callback) const;
    void removeCallback(int id) const;

private:
    friend class CancellationSource;
    struct State;
    explicit CancellationToken(std::shared_ptr<State> state) : m_state(std::move(state)) {}
    std::shared_ptr<State> m_state;
};

// The handle of a long-lived task: whoever holds it can cancel the task.
class CancellationSource {
public:
    CancellationSource();

    CancellationToken token() const { return CancellationToken(m_state); }
    void cancel();
    bool isCancelled() const;

private:
    std::shared_ptr<CancellationToken::State> m_state;
};

} // namespace norvane

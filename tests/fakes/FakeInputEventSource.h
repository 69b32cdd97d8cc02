// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "monitoring/InputEventSource.h"

#include <map>

namespace norvane::testing {

// An input source the test drives: it delivers whatever the test emits to every installed listener.
struct FakeInputEventSource : InputEventSource {
    bool available = true;
    bool refuseStart = false; // start() gives no listener although the source is available
    int startCalls = 0;
    std::map<ListenerId, Listener> listeners;
    ListenerId nextId = 1;

    bool isAvailable() override { return available; }
    QString unavailableReason() const override { return QStringLiteral("No input here."); }
    std::optional<ListenerId> start(Listener listener) override {
        ++startCalls;
        if (!available || refuseStart)
            return std::nullopt;
        listeners.emplace(nextId, std::move(listener));
        return nextId++;
    }
    void stop(ListenerId id) override { listeners.erase(id); }
    std::optional<QPoint> pointerPosition() override { return std::nullopt; }

    // A listener may stop itself or others while the event is delivered.
    void emitEvent(InputEventType type, int button = 0) {
        const auto copy = listeners;
        for (const auto& [id, listener] : copy)
            if (listeners.count(id))
                listener(InputEvent{type, button});
    }
};

} // namespace norvane::testing

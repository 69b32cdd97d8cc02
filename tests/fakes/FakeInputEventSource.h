#pragma once

#include "monitoring/InputEventSource.h"

#include <map>

namespace norvane::testing {

// An input source the test drives: it delivers whatever the test emits to every installed listener.
class FakeInputEventSource : public InputEventSource {
public:
    bool available = true;
    QString reason =
        QStringLiteral("No X11 display is set (DISPLAY is empty), so Norvane cannot see windows or input.");
    bool refuseStart = false; // start() gives no listener although the source is available
    std::optional<QPoint> pointer;
    int startCalls = 0;
    int stopCalls = 0;
    std::map<ListenerId, Listener> listeners;

    bool isAvailable() override { return available; }
    QString unavailableReason() const override { return reason; }
    std::optional<ListenerId> start(Listener listener) override {
        ++startCalls;
        if (!available || refuseStart)
            return std::nullopt;
        const ListenerId id = m_nextId++;
        listeners.emplace(id, std::move(listener));
        return id;
    }
    void stop(ListenerId id) override {
        ++stopCalls;
        listeners.erase(id);
    }
    std::optional<QPoint> pointerPosition() override { return pointer; }

    void emitEvent(InputEventType type, int button = 0) {
        auto copy = listeners;
        for (auto& [id, listener] : copy)
            if (listeners.count(id))
                listener(InputEvent{type, button});
    }

private:
    ListenerId m_nextId = 1;
};

} // namespace norvane::testing

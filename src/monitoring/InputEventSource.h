// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QPoint>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

namespace norvane {

// What a desktop backend saw, already told apart by the backend but not yet judged: the activity monitor
// decides which of these matter. The set follows the usual desktop event vocabulary, so every backend can
// map its own events onto it.
enum class InputEventType {
    LeftMouseDown,
    LeftMouseUp,
    RightMouseDown,
    RightMouseUp,
    OtherMouseDown,
    OtherMouseUp,
    LeftMouseDragged,
    RightMouseDragged,
    OtherMouseDragged,
    MouseMoved,
    KeyDown,
    KeyUp,
    ModifierKeyChanged, // a modifier key (Shift, Control, Alt, Super, ...) went down or up on its own
    ScrollWheel,
    // The desktop reported input without saying which (Wayland's idle notifications): some key,
    // button, scroll or pointer motion within the last second.
    ActivityReported,
};

struct InputEvent {
    InputEventType type = InputEventType::MouseMoved;
    int button = 0; // the backend's button number for mouse-down and mouse-up events, else 0
};

// A system-wide source of keyboard and mouse events, this program's own windows included. Several
// listeners may watch at once (the activity monitor, the nudge panel's click-outside check); each gets
// every event, on the main thread, in the order they happened.
class InputEventSource {
public:
    using ListenerId = quint64;
    using Listener = std::function<void(const InputEvent&)>;

    virtual ~InputEventSource() = default;

    // Whether events can be delivered at all (for example, whether an X display is reachable).
    virtual bool isAvailable() = 0;
    // Why not, as a full sentence, after isAvailable() answered false.
    virtual QString unavailableReason() const = 0;

    // Starts delivering events to `listener`. Nothing when the source cannot deliver them.
    virtual std::optional<ListenerId> start(Listener listener) = 0;
    // Stops delivering to that listener; unknown ids are ignored. Safe to call from inside a listener.
    virtual void stop(ListenerId id) = 0;

    // The pointer's position on the screen in device pixels, when it can be read. Mouse events carry
    // no position, so a listener that needs one asks here.
    virtual std::optional<QPoint> pointerPosition() = 0;
};

} // namespace norvane

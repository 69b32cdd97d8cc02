// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "InputActivityMonitor.h"

#include "model/Logging.h"

#include <QPointer>

namespace norvane {

InputActivityMonitor::InputActivityMonitor(InputEventSource* source, Clock* clock, QObject* parent)
    : QObject(parent), m_source(source), m_clock(clock) {}

InputActivityMonitor::~InputActivityMonitor() {
    if (m_listener)
        m_source->stop(*m_listener);
}

std::optional<MeaningfulInputKind> InputActivityMonitor::meaningfulKind(InputEventType type) {
    switch (type) {
    case InputEventType::LeftMouseDown:
    case InputEventType::RightMouseDown:
    case InputEventType::OtherMouseDown:
        return MeaningfulInputKind::MouseDown;
    case InputEventType::LeftMouseDragged:
    case InputEventType::RightMouseDragged:
    case InputEventType::OtherMouseDragged:
        return MeaningfulInputKind::MouseDrag;
    case InputEventType::KeyDown:
        return MeaningfulInputKind::Keyboard;
    case InputEventType::ScrollWheel:
        return MeaningfulInputKind::Scroll;
    case InputEventType::ActivityReported:
        return MeaningfulInputKind::Activity;
    case InputEventType::LeftMouseUp:
    case InputEventType::RightMouseUp:
    case InputEventType::OtherMouseUp:
    case InputEventType::MouseMoved:
    case InputEventType::KeyUp:
    case InputEventType::ModifierKeyChanged:
        break;
    }
    return std::nullopt;
}

void InputActivityMonitor::start() {
    if (m_listener)
        return;
    if (!m_source->isAvailable()) {
        m_available = false;
        // Monitoring goes on without input (the loop stays idle); say why once, not on every start.
        if (!m_reportedUnavailable) {
            m_reportedUnavailable = true;
            qCCritical(lcInputActivityMonitor).noquote()
                << QStringLiteral("Keyboard and mouse activity cannot be observed: %1")
                       .arg(m_source->unavailableReason());
        }
        return;
    }
    m_available = true;
    QPointer<InputActivityMonitor> self(this);
    m_listener = m_source->start([self](const InputEvent& event) {
        if (self)
            self->recordInput(event);
    });
}

void InputActivityMonitor::stop() {
    if (m_listener) {
        m_source->stop(*m_listener);
        m_listener.reset();
    }
    m_lastMeaningfulInputAt.reset();
    m_lastMeaningfulInputKind.reset();
}

void InputActivityMonitor::recordInput(const InputEvent& event) {
    const auto kind = meaningfulKind(event.type);
    if (!kind)
        return;
    // The moment of recording, not the event's own timestamp.
    m_lastMeaningfulInputAt = m_clock->now();
    m_lastMeaningfulInputKind = *kind;
}

} // namespace norvane

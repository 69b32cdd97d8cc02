// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "RawInputClassifier.h"

namespace norvane {

InputEvent RawInputClassifier::keyPressed(uint32_t keycode) const {
    return InputEvent{isModifier(keycode) ? InputEventType::ModifierKeyChanged : InputEventType::KeyDown, 0};
}

std::optional<InputEvent> RawInputClassifier::buttonPressed(uint32_t button, bool emulated) {
    if (isScrollButton(button)) {
        // A wheel on a smooth-scrolling device reports the motion and, for older clients, emulated
        // presses of 4 to 7: count the gesture once.
        if (emulated)
            return std::nullopt;
        return InputEvent{InputEventType::ScrollWheel, int(button)};
    }
    if (button == 0)
        return std::nullopt;
    m_heldButtons.insert(button);
    switch (button) {
    case 1:
        return InputEvent{InputEventType::LeftMouseDown, 1};
    case 3:
        return InputEvent{InputEventType::RightMouseDown, 3};
    default:
        return InputEvent{InputEventType::OtherMouseDown, int(button)};
    }
}

std::optional<InputEvent> RawInputClassifier::buttonReleased(uint32_t button, bool emulated) {
    Q_UNUSED(emulated);
    if (isScrollButton(button) || button == 0)
        return std::nullopt;
    m_heldButtons.remove(button);
    switch (button) {
    case 1:
        return InputEvent{InputEventType::LeftMouseUp, 1};
    case 3:
        return InputEvent{InputEventType::RightMouseUp, 3};
    default:
        return InputEvent{InputEventType::OtherMouseUp, int(button)};
    }
}

std::optional<InputEvent> RawInputClassifier::motion(bool scrolled, bool moved) const {
    if (scrolled)
        return InputEvent{InputEventType::ScrollWheel, 0};
    if (!moved)
        return std::nullopt;
    if (m_heldButtons.isEmpty())
        return InputEvent{InputEventType::MouseMoved, 0};
    if (m_heldButtons.contains(1))
        return InputEvent{InputEventType::LeftMouseDragged, 0};
    if (m_heldButtons.contains(3))
        return InputEvent{InputEventType::RightMouseDragged, 0};
    return InputEvent{InputEventType::OtherMouseDragged, 0};
}

} // namespace norvane

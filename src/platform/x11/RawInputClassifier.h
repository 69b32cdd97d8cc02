// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "monitoring/InputEventSource.h"

#include <QSet>

#include <cstdint>

namespace norvane {

// Turns XI2 raw events into desktop input events. Raw events carry no button state and no modifier
// meaning, so this keeps both: the buttons held down (for drags) and the keycodes of modifier keys.
class RawInputClassifier {
public:
    void setModifierKeycodes(QSet<uint32_t> keycodes) { m_modifierKeycodes = std::move(keycodes); }
    bool isModifier(uint32_t keycode) const { return m_modifierKeycodes.contains(keycode); }

    InputEvent keyPressed(uint32_t keycode) const;

    // `emulated`: the server made this press up from smooth-scroll motion that was already reported.
    std::optional<InputEvent> buttonPressed(uint32_t button, bool emulated);
    std::optional<InputEvent> buttonReleased(uint32_t button, bool emulated);

    // Raw motion. `scrolled`: a scroll valuator moved (smooth scrolling); `moved`: any other axis did.
    std::optional<InputEvent> motion(bool scrolled, bool moved) const;

    // Forget held buttons (after events were missed, for example while deselected).
    void reset() { m_heldButtons.clear(); }

    static bool isScrollButton(uint32_t button) { return button >= 4 && button <= 7; }

private:
    QSet<uint32_t> m_modifierKeycodes;
    QSet<uint32_t> m_heldButtons;
};

} // namespace norvane

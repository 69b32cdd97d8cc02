// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

import QtQuick

// Colours and opacities of the settings window; `dark` follows the system palette.
QtObject {
    id: theme

    property bool dark: false

    readonly property color primaryText: dark ? "#f2f1ef" : "#1d1d1f"
    // Opaque enough to read at 4.5:1 (WCAG AA) on the cards and the window background.
    readonly property color secondaryText: dark ? Qt.rgba(0.92, 0.92, 0.95, 0.74) : Qt.rgba(0.24, 0.24, 0.26, 0.84)
    readonly property color warningText: dark ? "#ffb4a8" : "#a8321e"

    readonly property color panelTop: dark ? Qt.rgba(1, 1, 1, 0.09) : Qt.rgba(1, 1, 1, 0.86)
    readonly property color panelBottom: dark ? Qt.rgba(1, 1, 1, 0.05) : Qt.rgba(1, 1, 1, 0.66)
    readonly property color panelBorder: dark ? Qt.rgba(1, 1, 1, 0.12) : Qt.rgba(0, 0, 0, 0.07)

    readonly property color cardTop: dark ? Qt.rgba(1, 1, 1, 0.07) : Qt.rgba(1, 1, 1, 0.95)
    readonly property color cardBottom: dark ? Qt.rgba(1, 1, 1, 0.03) : Qt.rgba(0.985, 0.98, 0.975, 0.9)
    readonly property color cardBorder: dark ? Qt.rgba(1, 1, 1, 0.10) : Qt.rgba(0, 0, 0, 0.06)

    readonly property color fieldFill: dark ? Qt.rgba(0, 0, 0, 0.25) : Qt.rgba(1, 1, 1, 1)
    readonly property color fieldBorder: dark ? Qt.rgba(1, 1, 1, 0.16) : Qt.rgba(0, 0, 0, 0.14)

    readonly property color backgroundStart: dark ? "#221d1a" : "#fbf3ea"
    readonly property color backgroundEnd: dark ? "#15202a" : "#e9f1f7"
    readonly property real glowOpacity: dark ? 0.20 : 0.26

    // What the page behind cards and badges comes to, for contrast decisions.
    readonly property color pageColor: dark ? "#1c1e22" : "#f7f5f2"

    // Relative luminance and contrast ratio as WCAG 2 defines them.
    function luminance(c) {
        const channel = v => v <= 0.03928 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4)
        return 0.2126 * channel(c.r) + 0.7152 * channel(c.g) + 0.0722 * channel(c.b)
    }
    function contrast(a, b) {
        const la = luminance(a), lb = luminance(b)
        return (Math.max(la, lb) + 0.05) / (Math.min(la, lb) + 0.05)
    }
    // `tint` made darker (or lighter, on a dark page) until text in it reads at 4.5:1 on `background`.
    function readable(tint, background) {
        let c = tint
        for (let i = 0; i < 24 && contrast(c, background) < 4.6; ++i)
            c = luminance(background) > 0.18 ? Qt.darker(c, 1.07) : Qt.lighter(c, 1.07)
        return c
    }

    readonly property int sectionRadius: 24
    readonly property int cardRadius: 18
}

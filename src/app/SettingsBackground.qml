// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

import QtQuick

// A diagonal wash from warm to cool with two soft glows in the two tints.
Canvas {
    id: canvas

    required property color warm
    required property color cool
    required property color startColor
    required property color endColor
    required property real glowOpacity

    onWarmChanged: requestPaint()
    onCoolChanged: requestPaint()
    onStartColorChanged: requestPaint()
    onEndColorChanged: requestPaint()
    onWidthChanged: requestPaint()
    onHeightChanged: requestPaint()

    function rgba(c, a) {
        return Qt.rgba(c.r, c.g, c.b, a)
    }

    onPaint: {
        const ctx = getContext("2d")
        ctx.reset()
        const wash = ctx.createLinearGradient(0, 0, width, height)
        wash.addColorStop(0, startColor)
        wash.addColorStop(1, endColor)
        ctx.fillStyle = wash
        ctx.fillRect(0, 0, width, height)

        function glow(x, y, r, c) {
            const g = ctx.createRadialGradient(x, y, 0, x, y, r)
            g.addColorStop(0, rgba(c, glowOpacity))
            g.addColorStop(0.55, rgba(c, glowOpacity * 0.35))
            g.addColorStop(1, rgba(c, 0))
            ctx.fillStyle = g
            ctx.fillRect(x - r, y - r, 2 * r, 2 * r)
        }
        glow(width * 0.92, height * 0.08, width * 0.62, warm)
        glow(width * 0.05, height * 0.78, width * 0.70, cool)
    }
}

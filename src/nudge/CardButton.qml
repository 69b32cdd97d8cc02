// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

import QtQuick
import QtQuick.Controls.Basic

// A button of the card in one of three looks: "prominent" (filled with the accent colour), "bordered"
// or "plain" (text only, with a faint highlight under the pointer).
Button {
    id: control

    property string look: "plain"
    property bool small: false

    hoverEnabled: true
    focusPolicy: Qt.NoFocus
    font.pixelSize: small ? NudgeTheme.captionSize : NudgeTheme.bodySize
    font.weight: look === "prominent" ? Font.DemiBold : Font.Normal
    topPadding: 0
    bottomPadding: 0
    // Plain buttons are mostly text, so their label lines up with the card's edge.
    leftPadding: small ? 9 : look === "plain" ? 8 : 14
    rightPadding: small ? 9 : look === "plain" ? 8 : 14
    implicitHeight: small ? 22 : 30
    implicitWidth: Math.max(small ? 44 : look === "plain" ? 0 : 72, implicitContentWidth + leftPadding + rightPadding)

    contentItem: Text {
        text: control.text
        font: control.font
        textFormat: Text.PlainText
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        color: {
            if (!control.enabled)
                return Qt.rgba(1, 1, 1, 0.32)
            if (control.look === "prominent")
                return "white"
            if (control.look === "plain" && !control.hovered)
                return NudgeTheme.secondaryText
            return NudgeTheme.primaryText
        }
    }

    background: Rectangle {
        radius: control.small ? 5 : 7
        border.width: control.look === "bordered" ? 1 : 0
        border.color: Qt.rgba(1, 1, 1, 0.14)
        color: {
            if (control.look === "prominent") {
                if (!control.enabled)
                    return Qt.rgba(1, 1, 1, 0.08)
                return control.down ? NudgeTheme.accentPressed
                                    : control.hovered ? NudgeTheme.accentHovered : NudgeTheme.accent
            }
            if (control.look === "bordered")
                return control.down ? Qt.rgba(1, 1, 1, 0.18) : control.hovered ? Qt.rgba(1, 1, 1, 0.13)
                                                                                 : Qt.rgba(1, 1, 1, 0.08)
            return control.down ? Qt.rgba(1, 1, 1, 0.10) : control.hovered ? Qt.rgba(1, 1, 1, 0.06)
                                                                             : "transparent"
        }
    }
}

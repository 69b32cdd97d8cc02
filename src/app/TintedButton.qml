// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

import QtQuick
import QtQuick.Controls.Basic

// A button in one of two styles: prominent (filled with the tint) or bordered. A disabled button of
// either style is an empty outline with muted text, so it never passes for one that can be pressed.
Button {
    id: control

    property color tint: "#de7d33"
    property bool prominent: true
    required property Theme theme

    implicitHeight: 34
    leftPadding: 16
    rightPadding: 16
    font.pixelSize: 13
    font.weight: Font.DemiBold
    hoverEnabled: true

    // The tint deep enough for white text at 4.5:1.
    readonly property color fill: theme.readable(tint, Qt.rgba(1, 1, 1, 1))

    contentItem: Text {
        text: control.text
        font: control.font
        color: !control.enabled ? control.theme.secondaryText
                                : control.prominent ? "white" : control.theme.primaryText
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }

    background: Rectangle {
        radius: 10
        color: !control.enabled ? "transparent"
               : control.prominent
               ? (control.down ? Qt.darker(control.fill, 1.15) : control.hovered ? Qt.darker(control.fill, 1.06) : control.fill)
               : (control.down ? Qt.rgba(0.5, 0.5, 0.5, 0.18) : control.hovered ? Qt.rgba(0.5, 0.5, 0.5, 0.10) : "transparent")
        border.width: control.prominent && control.enabled ? 0 : 1
        border.color: control.theme.fieldBorder
    }
}

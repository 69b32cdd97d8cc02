// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic

// A slider with a tinted track and optional tick marks at each step.
Slider {
    id: control

    property color tint
    required property Theme theme
    property bool showTicks: false

    implicitHeight: 28
    snapMode: Slider.SnapAlways
    focusPolicy: Qt.StrongFocus

    // The handle's centre runs from `inset` to width - inset; fill and ticks follow the same line.
    readonly property real inset: 10
    readonly property real handleCentre: inset + visualPosition * (availableWidth - 2 * inset)

    background: Item {
        x: control.leftPadding
        y: control.topPadding + control.availableHeight / 2 - height / 2
        width: control.availableWidth
        height: 6

        Rectangle {
            anchors.fill: parent
            radius: 3
            color: control.theme.dark ? Qt.rgba(1, 1, 1, 0.14) : Qt.rgba(0, 0, 0, 0.09)
        }
        Rectangle {
            width: control.handleCentre
            height: parent.height
            radius: 3
            color: control.tint
        }
        Repeater {
            model: control.showTicks && control.stepSize > 0
                   ? Math.round((control.to - control.from) / control.stepSize) + 1 : 0
            Rectangle {
                required property int index
                readonly property real at: index / Math.max(1, Math.round((control.to - control.from) / control.stepSize))
                readonly property real centre: control.inset + at * (control.availableWidth - 2 * control.inset)
                x: centre - width / 2
                y: (parent.height - height) / 2
                width: 8
                height: 8
                radius: 4
                color: centre <= control.handleCentre + 0.5 ? control.tint
                                                           : (control.theme.dark ? Qt.rgba(1, 1, 1, 0.28) : Qt.rgba(0, 0, 0, 0.18))
            }
        }
    }

    handle: Rectangle {
        x: control.leftPadding + control.handleCentre - width / 2
        y: control.topPadding + control.availableHeight / 2 - height / 2
        width: 20
        height: 20
        radius: 10
        color: control.pressed ? "#f1f1f1" : "white"
        border.width: control.activeFocus ? 2 : 1
        border.color: control.activeFocus ? control.tint : Qt.rgba(0, 0, 0, 0.22)
    }
}

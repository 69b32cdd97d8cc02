// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

import QtQuick

// A small pill: a dot and a label in one tint, over a faint wash of it.
Rectangle {
    id: badge

    property string text
    property color tint
    // The page the badge sits on; the label is kept readable (4.5:1) against it.
    property Theme theme

    implicitWidth: row.implicitWidth + 20
    implicitHeight: 26
    radius: height / 2
    color: Qt.rgba(tint.r, tint.g, tint.b, 0.14)
    border.width: 1
    border.color: Qt.rgba(tint.r, tint.g, tint.b, 0.30)

    Row {
        id: row
        anchors.centerIn: parent
        spacing: 6

        Rectangle {
            anchors.verticalCenter: parent.verticalCenter
            width: 7
            height: 7
            radius: 3.5
            color: badge.tint
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: badge.text
            color: badge.theme ? badge.theme.readable(badge.tint, badge.theme.pageColor) : Qt.darker(badge.tint, 1.25)
            font.pixelSize: 12
            font.weight: Font.DemiBold
        }
    }
}

// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

pragma Singleton
import QtQuick

// Colours and type sizes of the nudge card: a dark translucent card that reads well over any desktop.
QtObject {
    readonly property color cardTop: Qt.rgba(0.165, 0.169, 0.188, 0.94)
    readonly property color cardBottom: Qt.rgba(0.118, 0.122, 0.137, 0.94)
    readonly property color cardOutline: Qt.rgba(1, 1, 1, 0.16)

    readonly property color primaryText: "#f4f4f6"
    readonly property color secondaryText: Qt.rgba(1, 1, 1, 0.62)
    readonly property color placeholderText: Qt.rgba(1, 1, 1, 0.36)
    readonly property color warning: "#ffab2e"

    // Deep enough for the white label at 4.5:1 in every state.
    readonly property color accent: "#2b6cd4"
    readonly property color accentHovered: "#2f72dc"
    readonly property color accentPressed: "#245dba"

    readonly property color fieldFill: Qt.rgba(0, 0, 0, 0.22)
    readonly property color fieldOutline: Qt.rgba(1, 1, 1, 0.16)

    readonly property int bodySize: 13
    readonly property int captionSize: 11
    readonly property int headlineSize: 15
    readonly property string monospaceFamily: "monospace"
}

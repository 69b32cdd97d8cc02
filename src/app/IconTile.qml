// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

import QtQuick

// A rounded tile in a tint with a white symbol on it.
Rectangle {
    id: tile

    property string symbol
    property color tint
    property int size: 34
    property real glyphScale: 0.56

    width: size
    height: size
    radius: Math.round(size * 0.3)
    gradient: Gradient {
        GradientStop { position: 0; color: Qt.lighter(tile.tint, 1.12) }
        GradientStop { position: 1; color: Qt.darker(tile.tint, 1.08) }
    }

    Image {
        anchors.centerIn: parent
        width: Math.round(tile.size * tile.glyphScale)
        height: width
        sourceSize.width: width * 2
        sourceSize.height: height * 2
        source: tile.symbol.length > 0 ? "icons/" + tile.symbol + ".svg" : ""
        smooth: true
    }
}

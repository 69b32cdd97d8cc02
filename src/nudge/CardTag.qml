// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

import QtQuick
import QtQuick.Controls.Basic

// A small capsule label (effort, impact). A text wider than `maximumWidth` wraps inside the capsule.
Label {
    property real maximumWidth: Infinity

    width: Math.min(implicitWidth, maximumWidth)
    wrapMode: Text.Wrap
    font.pixelSize: NudgeTheme.captionSize
    textFormat: Text.PlainText
    color: NudgeTheme.primaryText
    leftPadding: 8
    rightPadding: 8
    topPadding: 4
    bottomPadding: 4
    background: Rectangle {
        radius: Math.min(height / 2, 11)
        color: Qt.rgba(1, 1, 1, 0.14)
    }
}

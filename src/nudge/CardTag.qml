import QtQuick
import QtQuick.Controls.Basic

// A small capsule label (effort, impact).
Label {
    font.pixelSize: NudgeTheme.captionSize
    textFormat: Text.PlainText
    color: NudgeTheme.primaryText
    leftPadding: 8
    rightPadding: 8
    topPadding: 4
    bottomPadding: 4
    background: Rectangle {
        radius: height / 2
        color: Qt.rgba(1, 1, 1, 0.14)
    }
}

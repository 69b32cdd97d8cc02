// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

import QtQuick
import Norvane.Settings

// The tray menu's commands, shown at the top of the window when the desktop has no tray.
Rectangle {
    id: bar

    required property Theme theme
    // Null once the commands are gone at shutdown, while the view may still be drawn.
    required property ShellCommands commands
    required property color tint

    implicitHeight: layout.implicitHeight + 24
    radius: theme.cardRadius
    border.width: 1
    border.color: theme.panelBorder
    color: theme.panelTop

    Column {
        id: layout
        x: 12
        y: 12
        width: bar.width - 24
        spacing: 6

        Item {
            width: parent.width
            height: quitButton.implicitHeight

            Row {
                spacing: 8

                TintedButton {
                    objectName: "commandMonitoringButton"
                    theme: bar.theme
                    text: bar.commands ? bar.commands.monitoringTitle : ""
                    tint: bar.tint
                    leftPadding: 12
                    rightPadding: 12
                    onClicked: if (bar.commands) bar.commands.toggleMonitoring()
                }
                TintedButton {
                    objectName: "commandPauseButton"
                    theme: bar.theme
                    text: bar.commands ? bar.commands.pauseTitle : ""
                    enabled: bar.commands ? bar.commands.pauseEnabled : false
                    prominent: false
                    leftPadding: 12
                    rightPadding: 12
                    onClicked: if (bar.commands) bar.commands.togglePause()
                }
            }
            TintedButton {
                id: quitButton
                objectName: "commandQuitButton"
                anchors.right: parent.right
                theme: bar.theme
                text: qsTr("Quit Norvane")
                prominent: false
                leftPadding: 12
                rightPadding: 12
                onClicked: if (bar.commands) bar.commands.quit()
            }
        }
        Text {
            objectName: "commandResumeTimeLabel"
            visible: bar.commands ? bar.commands.resumeTimeVisible : false
            text: bar.commands ? bar.commands.resumeTimeTitle : ""
            color: bar.theme.secondaryText
            font.pixelSize: 12
        }
    }
}

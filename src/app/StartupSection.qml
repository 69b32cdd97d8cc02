// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import Norvane.Settings

// Whether Norvane starts with the desktop session. The entry is read each time the window opens.
SettingsSection {
    id: section

    readonly property LoginStartup startup: LoginStartup {}

    objectName: "startupSection"
    title: qsTr("Start at Login")
    subtitle: qsTr("Norvane starts with monitoring off, so starting it at login only puts it in the tray.")
    symbol: "figure.wave"
    Component.onCompleted: startup.refresh()

    CheckBox {
        id: box
        objectName: "loginStartupBox"
        leftPadding: 0
        text: qsTr("Start Norvane when you log in")
        checked: section.startup.enabled
        onToggled: {
            section.startup.setEnabled(checked)
            checked = Qt.binding(() => section.startup.enabled)
        }
        contentItem: Text {
            leftPadding: box.indicator.width + box.spacing
            text: box.text
            color: section.theme.primaryText
            font.pixelSize: 13
            verticalAlignment: Text.AlignVCenter
        }
    }
    Text {
        objectName: "loginStartupProblem"
        width: parent.width
        visible: text !== ""
        text: section.startup.problem
        textFormat: Text.PlainText
        color: section.theme.warningText
        font.pixelSize: 12
        wrapMode: Text.WordWrap
    }
}

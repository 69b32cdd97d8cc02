// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

import QtQuick
import Norvane.Settings

// The way to the history of what Norvane sent to the model.
SettingsSection {
    id: section

    required property ShellCommands commands

    title: qsTr("History")
    subtitle: qsTr("Every request that carried screenshots to a model, with the frames it sent and what came back.")
    symbol: "eye"

    TintedButton {
        objectName: "historyButton"
        theme: section.theme
        tint: section.tint
        prominent: false
        text: qsTr("Show History\u2026")
        enabled: section.commands !== null
        onClicked: section.commands.openHistory()
    }
}

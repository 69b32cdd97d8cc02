// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

import QtQuick

// One permission: its tile, title, description and status badge, and while it is missing, the button
// that asks for it. Green when granted, the brand tint when missing.
Rectangle {
    id: card

    required property Theme theme
    property string title
    property string symbol
    property bool granted
    property string description
    property string buttonTitle
    property string grantedText: "Granted"
    property color grantedTint
    property color missingTint
    readonly property color tint: granted ? grantedTint : missingTint
    signal buttonClicked

    width: parent ? parent.width : 0
    implicitHeight: layout.implicitHeight + 32
    radius: theme.cardRadius
    border.width: 1
    border.color: Qt.rgba(tint.r, tint.g, tint.b, 0.28)
    gradient: Gradient {
        GradientStop { position: 0; color: Qt.rgba(card.tint.r, card.tint.g, card.tint.b, card.theme.dark ? 0.16 : 0.10) }
        GradientStop { position: 1; color: Qt.rgba(card.tint.r, card.tint.g, card.tint.b, card.theme.dark ? 0.06 : 0.03) }
    }

    Column {
        id: layout
        x: 16
        y: 16
        width: card.width - 32
        spacing: 12

        Row {
            width: parent.width
            spacing: 12

            IconTile {
                objectName: "permissionIcon"
                symbol: card.symbol
                tint: card.tint
                size: 34
            }
            Column {
                width: parent.width - 46 - badge.width - 12
                spacing: 3

                Text {
                    objectName: "permissionTitle"
                    text: card.title
                    color: card.theme.primaryText
                    font.pixelSize: 14
                    font.weight: Font.DemiBold
                }
                Text {
                    objectName: "permissionDescription"
                    textFormat: Text.PlainText
                    width: parent.width
                    text: card.description
                    color: card.theme.secondaryText
                    font.pixelSize: 12
                    wrapMode: Text.WordWrap
                }
            }
            StatusBadge {
                id: badge
                objectName: "permissionBadge"
                theme: card.theme
                text: card.granted ? card.grantedText : qsTr("Missing")
                tint: card.tint
            }
        }

        TintedButton {
            objectName: "permissionButton"
            visible: !card.granted && card.buttonTitle !== ""
            x: 46
            theme: card.theme
            text: card.buttonTitle
            tint: card.missingTint
            onClicked: card.buttonClicked()
        }
    }
}

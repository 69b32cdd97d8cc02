// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

import QtQuick

// A titled panel: icon tile, title and subtitle above the section's own content.
Rectangle {
    id: section

    required property Theme theme
    property string title
    property string subtitle
    property string symbol
    property color tint
    default property alias content: body.data

    implicitHeight: layout.implicitHeight + 40
    radius: theme.sectionRadius
    border.width: 1
    border.color: theme.panelBorder
    gradient: Gradient {
        GradientStop { position: 0; color: section.theme.panelTop }
        GradientStop { position: 1; color: section.theme.panelBottom }
    }

    Column {
        id: layout
        x: 20
        y: 20
        width: section.width - 40
        spacing: 16

        Row {
            width: parent.width
            spacing: 12

            IconTile {
                objectName: "sectionIcon"
                symbol: section.symbol
                tint: section.tint
                size: 36
            }
            Column {
                width: parent.width - 48
                spacing: 3

                Text {
                    objectName: "sectionTitle"
                    text: section.title
                    color: section.theme.primaryText
                    font.pixelSize: 17
                    font.weight: Font.Bold
                }
                Text {
                    objectName: "sectionSubtitle"
                    width: parent.width
                    text: section.subtitle
                    color: section.theme.secondaryText
                    font.pixelSize: 12
                    wrapMode: Text.WordWrap
                    lineHeight: 1.1
                }
            }
        }

        Column {
            id: body
            width: parent.width
            spacing: 12
        }
    }
}

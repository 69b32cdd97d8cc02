// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

import QtQuick

// An inner card of a section.
Rectangle {
    id: card

    required property Theme theme
    default property alias content: body.data
    property int padding: 16

    width: parent ? parent.width : 0
    implicitHeight: body.implicitHeight + 2 * padding
    radius: theme.cardRadius
    border.width: 1
    border.color: theme.cardBorder
    gradient: Gradient {
        GradientStop { position: 0; color: card.theme.cardTop }
        GradientStop { position: 1; color: card.theme.cardBottom }
    }

    Column {
        id: body
        x: card.padding
        y: card.padding
        width: card.width - 2 * card.padding
        spacing: 10
    }
}

// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

import QtQuick
import QtQuick.Controls.Basic
import Norvane.Settings

// The history window: one card per request sent to the model, newest first, with the frames it carried
// as thumbnails. The list asks its model for older pages as it scrolls.
Rectangle {
    id: root

    required property HistoryModel history
    readonly property color tint: Qt.rgba(0.42, 0.40, 0.80, 1)

    implicitWidth: 640
    implicitHeight: 720
    color: look.pageColor

    SystemPalette {
        id: palette
    }

    Theme {
        id: look
        dark: palette.window.hslLightness < 0.5
    }

    Text {
        objectName: "emptyText"
        anchors.centerIn: parent
        width: parent.width - 80
        visible: list.count === 0 && !root.history.loading
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        text: qsTr("Nothing has been sent to a model yet. Each request that carries screenshots will be listed here.")
        color: look.secondaryText
        font.pixelSize: 13
    }

    ListView {
        id: list
        objectName: "historyList"
        anchors.fill: parent
        anchors.margins: 16
        spacing: 12
        clip: true
        model: root.history
        ScrollBar.vertical: ScrollBar {}

        // Bound, the list's components fail to load in Qt 6.4 ("Component is not ready"), so they stay
        // unbound and reach the view's ids through its context, which this qmllint cannot follow.
        // qmllint disable unqualified
        header: Text {
            objectName: "historySummary"
            width: ListView.view.width
            bottomPadding: 12
            visible: root.history.total > 0
            text: root.history.total === 1 ? qsTr("One request carried screenshots.")
                  : qsTr("%1 requests carried screenshots, newest first.").arg(root.history.total)
            color: look.secondaryText
            font.pixelSize: 12
        }

        delegate: Rectangle {
            id: card

            required property int index
            required property string timeText
            required property string kindTitle
            required property var frames
            required property string outcome
            required property string prompt
            required property string destination

            objectName: "historyRow" + index
            width: ListView.view.width
            height: body.implicitHeight + 28
            radius: look.cardRadius
            border.width: 1
            border.color: look.cardBorder
            color: look.cardTop

            Column {
                id: body
                x: 14
                y: 14
                width: parent.width - 28
                spacing: 8

                Row {
                    width: parent.width
                    spacing: 10

                    Text {
                        objectName: "kindLabel"
                        text: card.kindTitle
                        color: look.primaryText
                        font.pixelSize: 14
                        font.weight: Font.Bold
                    }
                    Text {
                        objectName: "timeLabel"
                        text: card.timeText
                        color: look.secondaryText
                        font.pixelSize: 12
                        anchors.baseline: parent.children[0].baseline
                    }
                    Text {
                        objectName: "destinationLabel"
                        text: card.destination
                        color: look.secondaryText
                        font.pixelSize: 12
                        anchors.baseline: parent.children[0].baseline
                    }
                }

                Flow {
                    width: parent.width
                    spacing: 10

                    Repeater {
                        model: card.frames

                        Column {
                            id: frame
                            required property var modelData
                            width: 180
                            spacing: 4

                            Rectangle {
                                width: 180
                                height: 112
                                radius: 8
                                color: look.fieldFill
                                border.width: 1
                                border.color: look.fieldBorder
                                clip: true

                                Image {
                                    id: thumbnail
                                    objectName: "thumbnail"
                                    anchors.fill: parent
                                    anchors.margins: 1
                                    source: frame.modelData.thumbnail
                                    sourceSize.width: 360
                                    fillMode: Image.PreserveAspectFit
                                    asynchronous: true
                                    cache: false
                                }
                                Text {
                                    anchors.centerIn: parent
                                    width: parent.width - 16
                                    visible: thumbnail.status === Image.Null || thumbnail.status === Image.Error
                                    horizontalAlignment: Text.AlignHCenter
                                    wrapMode: Text.WordWrap
                                    text: qsTr("The capture is no longer on disk.")
                                    color: look.secondaryText
                                    font.pixelSize: 11
                                }
                            }
                            Text {
                                width: parent.width
                                text: parent.modelData.appName + " \u2014 " + parent.modelData.windowTitle
                                elide: Text.ElideRight
                                color: look.secondaryText
                                font.pixelSize: 11
                            }
                        }
                    }
                }

                Text {
                    objectName: "outcomeText"
                    width: parent.width
                    text: card.outcome
                    wrapMode: Text.WordWrap
                    color: look.primaryText
                    font.pixelSize: 13
                }

                TintedButton {
                    objectName: "copyPromptButton"
                    visible: card.prompt.length > 0
                    theme: look
                    tint: root.tint
                    prominent: false
                    text: qsTr("Copy prompt")
                    onClicked: root.history.copyPrompt(card.index)
                }
            }
        }
        // qmllint enable unqualified
    }
}

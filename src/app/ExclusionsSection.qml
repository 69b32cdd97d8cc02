// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import Norvane.Settings

// What is never captured: applications by name and windows by words in their title, each list with
// add and remove. Every change is stored at once.
SettingsSection {
    id: section

    required property AppState appState

    title: qsTr("Exclusions")
    subtitle: qsTr("Norvane never captures, keeps or sends a window of these applications, or a window whose title contains one of these words.")
    symbol: "eye.slash"
    tint: Qt.rgba(0.20, 0.55, 0.45, 1)

    component EntryList: ControlCard {
        id: list

        property string heading
        property string placeholder
        property var entries: []
        signal replaced(var entries)

        theme: section.theme

        Text {
            text: list.heading
            color: section.theme.primaryText
            font.pixelSize: 13
            font.weight: Font.DemiBold
        }
        Text {
            visible: list.entries.length === 0
            text: qsTr("Nothing is excluded here.")
            color: section.theme.secondaryText
            font.pixelSize: 12
        }
        Flow {
            width: parent.width
            spacing: 6

            Repeater {
                model: list.entries

                Rectangle {
                    id: chip

                    required property string modelData
                    required property int index

                    objectName: "exclusion_" + modelData
                    width: chipRow.implicitWidth + 16
                    height: 28
                    radius: 14
                    color: section.theme.fieldFill
                    border.color: section.theme.fieldBorder

                    Row {
                        id: chipRow
                        x: 10
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 4

                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            text: chip.modelData
                            textFormat: Text.PlainText
                            color: section.theme.primaryText
                            font.pixelSize: 12
                        }
                        ToolButton {
                            objectName: "remove_" + chip.modelData
                            implicitWidth: 20
                            implicitHeight: 20
                            text: "\u00d7"
                            Accessible.name: qsTr("Remove %1").arg(chip.modelData)
                            onClicked: list.replaced(list.entries.filter((entry, i) => i !== chip.index))
                        }
                    }
                }
            }
        }
        Row {
            width: parent.width
            spacing: 8

            TextField {
                id: field
                objectName: list.objectName + "Field"
                width: parent.width - addButton.width - 8
                implicitHeight: 34
                placeholderText: list.placeholder
                placeholderTextColor: section.theme.secondaryText
                color: section.theme.primaryText
                font.pixelSize: 13
                selectByMouse: true
                onAccepted: addButton.clicked()
                background: Rectangle {
                    radius: 10
                    color: section.theme.fieldFill
                    border.width: field.activeFocus ? 2 : 1
                    border.color: field.activeFocus ? section.tint : section.theme.fieldBorder
                }
            }
            TintedButton {
                id: addButton
                objectName: list.objectName + "Add"
                theme: section.theme
                tint: section.tint
                prominent: false
                text: qsTr("Add")
                enabled: field.text.trim() !== ""
                onClicked: {
                    list.replaced(list.entries.concat([field.text]))
                    field.clear()
                }
            }
        }
    }

    EntryList {
        objectName: "excludedApplications"
        heading: qsTr("Applications")
        placeholder: qsTr("Application name, for example KeePassXC")
        entries: section.appState.excludedApplications
        onReplaced: entries => section.appState.excludedApplications = entries
    }
    EntryList {
        objectName: "excludedTitles"
        heading: qsTr("Window titles containing")
        placeholder: qsTr("Words in the title, for example Private Browsing")
        entries: section.appState.excludedTitlePatterns
        onReplaced: entries => section.appState.excludedTitlePatterns = entries
    }
}

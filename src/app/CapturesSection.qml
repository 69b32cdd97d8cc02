// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

pragma ComponentBehavior: Bound
import QtQuick
import Norvane.Settings

// How long captures are kept and how much room they may take, what is stored now, and deleting it all.
SettingsSection {
    id: section

    required property CaptureRetention captures
    property bool confirming: false

    objectName: "capturesSection"
    title: qsTr("Stored Captures")
    subtitle: qsTr("Captures are saved on this computer. When a limit is reached, the oldest go first.")
    symbol: "record.circle"
    Component.onCompleted: captures.refreshSummary()

    component LimitCard: ControlCard {
        id: card

        property string name
        property string heading
        property string label
        property int choice
        signal chosen(real position)

        objectName: name + "Card"
        theme: section.theme

        Item {
            width: parent.width
            height: limitTitle.height

            Text {
                id: limitTitle
                text: card.heading
                color: section.theme.primaryText
                font.pixelSize: 13
                font.weight: Font.DemiBold
            }
            Text {
                objectName: card.name + "ValueLabel"
                anchors.right: parent.right
                text: card.label
                color: section.theme.secondaryText
                font.pixelSize: 13
            }
        }
        TintedSlider {
            objectName: card.name + "Slider"
            width: parent.width
            theme: section.theme
            tint: section.tint
            showTicks: true
            from: 0
            to: section.captures.lastChoice
            stepSize: 1
            value: card.choice
            onMoved: card.chosen(value)
        }
    }

    LimitCard {
        name: "retention"
        heading: qsTr("Keep captures for")
        label: section.captures.ageLabel
        choice: section.captures.ageChoice
        onChosen: position => section.captures.setAgeChoice(position)
    }
    LimitCard {
        name: "sizeLimit"
        heading: qsTr("Space for captures")
        label: section.captures.sizeLabel
        choice: section.captures.sizeChoice
        onChosen: position => section.captures.setSizeChoice(position)
    }

    ControlCard {
        objectName: "storedCapturesCard"
        theme: section.theme

        Text {
            objectName: "storedCapturesSummary"
            width: parent.width
            text: section.captures.summary
            color: section.theme.primaryText
            font.pixelSize: 13
            wrapMode: Text.WordWrap
        }
        Text {
            objectName: "deleteConfirmation"
            width: parent.width
            visible: section.confirming
            text: section.captures.deleteConfirmation
            color: section.theme.warningText
            font.pixelSize: 12
            wrapMode: Text.WordWrap
        }
        // Cancel takes the place of the first button, so a double click never confirms.
        Row {
            spacing: 12

            TintedButton {
                objectName: "deleteCapturesButton"
                visible: !section.confirming
                theme: section.theme
                prominent: false
                text: qsTr("Delete All Captures\u2026")
                onClicked: section.confirming = true
            }
            TintedButton {
                objectName: "cancelDeleteButton"
                visible: section.confirming
                theme: section.theme
                prominent: false
                text: qsTr("Cancel")
                onClicked: section.confirming = false
            }
            TintedButton {
                objectName: "confirmDeleteButton"
                visible: section.confirming
                theme: section.theme
                tint: section.tint
                text: qsTr("Delete")
                onClicked: {
                    section.confirming = false
                    section.captures.deleteAll()
                }
            }
        }
    }
}

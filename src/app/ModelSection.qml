// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import Norvane.Settings

// Which model answers and how to reach it: Gemini with its key and model, or an OpenAI-compatible
// server (a local Ollama, or any other) with its address, model and optional key. Every edit is stored
// at once; the bindings pick up changes made elsewhere.
SettingsSection {
    id: section

    required property AppState appState
    required property SettingsController controller

    title: controller.usesGemini ? qsTr("Gemini") : qsTr("Model")
    subtitle: controller.usesGemini
              ? qsTr("Norvane talks directly to Gemini for opportunity detection and recommendations.")
              : qsTr("Norvane talks directly to this OpenAI-compatible server for opportunity detection and recommendations.")
    symbol: "sparkles"
    tint: controller.brandTint

    component Caption: Text {
        color: section.theme.primaryText
        font.pixelSize: 12
        font.weight: Font.DemiBold
    }
    component Field: TextField {
        id: field

        width: parent.width
        implicitHeight: 36
        placeholderTextColor: section.theme.secondaryText
        color: section.theme.primaryText
        font.pixelSize: 13
        leftPadding: 12
        rightPadding: 12
        selectByMouse: true
        background: Rectangle {
            radius: 10
            color: section.theme.fieldFill
            border.width: field.activeFocus ? 2 : 1
            border.color: field.activeFocus ? section.controller.brandTint : section.theme.fieldBorder
        }
    }
    component Choice: TintedButton {
        implicitHeight: 28
        leftPadding: 10
        rightPadding: 10
        font.pixelSize: 12
        theme: section.theme
        tint: section.controller.brandTint
    }

    Flow {
        objectName: "presetRow"
        width: parent.width
        spacing: 8

        Repeater {
            model: [qsTr("Gemini (Google)"), qsTr("Ollama on this computer"), qsTr("Custom OpenAI-compatible")]

            Choice {
                required property string modelData
                required property int index
                objectName: "preset" + index
                text: modelData
                prominent: section.controller.providerPreset === index
                onClicked: section.controller.choosePreset(index)
            }
        }
    }

    // Gemini
    Caption {
        objectName: "geminiModelCaption"
        visible: section.controller.usesGemini
        text: qsTr("Model")
    }
    Field {
        objectName: "geminiModelField"
        visible: section.controller.usesGemini
        text: section.controller.geminiModelText
        onTextEdited: section.controller.setGeminiModel(text)
    }
    Flow {
        visible: section.controller.usesGemini
        width: parent.width
        spacing: 8

        Repeater {
            model: section.controller.geminiModelChoices

            Choice {
                required property string modelData
                text: modelData
                prominent: false
                onClicked: section.controller.setGeminiModel(modelData)
            }
        }
    }
    Caption {
        objectName: "apiKeyCaption"
        visible: section.controller.usesGemini
        text: qsTr("API key")
    }
    Field {
        objectName: "apiKeyField"
        visible: section.controller.usesGemini
        echoMode: TextInput.Password
        passwordCharacter: "\u2022"
        placeholderText: qsTr("Gemini API key")
        text: section.appState.apiKey
        onTextEdited: section.controller.setApiKey(text)
    }

    // An OpenAI-compatible server
    Caption {
        visible: !section.controller.usesGemini
        text: qsTr("Server address")
    }
    Field {
        objectName: "baseURLField"
        visible: !section.controller.usesGemini
        placeholderText: "https://\u2026/v1"
        text: section.appState.openAIBaseURL
        onTextEdited: section.appState.openAIBaseURL = text
    }
    Caption {
        visible: !section.controller.usesGemini
        text: qsTr("Model")
    }
    Field {
        objectName: "openAIModelField"
        visible: !section.controller.usesGemini
        placeholderText: qsTr("A model that reads images, e.g. llava or qwen2.5vl")
        text: section.appState.openAIModel
        onTextEdited: section.appState.openAIModel = text
    }
    Caption {
        visible: !section.controller.usesGemini
        text: qsTr("API key (if the server needs one)")
    }
    Field {
        objectName: "openAIKeyField"
        visible: !section.controller.usesGemini
        echoMode: TextInput.Password
        passwordCharacter: "\u2022"
        placeholderText: qsTr("No key")
        text: section.appState.openAIApiKey
        onTextEdited: section.controller.setOpenAIApiKey(text)
    }

    Text {
        objectName: "apiKeyProblem"
        width: parent.width
        visible: text !== ""
        text: section.controller.apiKeyProblem
        textFormat: Text.PlainText
        color: section.theme.warningText
        font.pixelSize: 12
        wrapMode: Text.WordWrap
    }
    Text {
        objectName: "apiKeyPrivacyCaption"
        width: parent.width
        text: section.controller.destinationText
        textFormat: Text.PlainText
        color: section.theme.secondaryText
        font.pixelSize: 12
        wrapMode: Text.WordWrap
    }
    Row {
        width: parent.width
        spacing: 12

        TintedButton {
            id: testButton
            objectName: "testConnectionButton"
            theme: section.theme
            text: section.controller.isTestingAPI ? qsTr("Testing...") : qsTr("Test Connection")
            tint: section.controller.brandTint
            enabled: section.controller.canTestConnection
            onClicked: section.controller.testAPIKey()
        }
        Rectangle {
            id: resultChip
            objectName: "apiTestResult"
            readonly property color tint: section.controller.apiTestSucceeded ? section.controller.successTint
                                                                               : section.controller.secondaryTint
            visible: section.controller.hasApiTestMessage
            anchors.verticalCenter: testButton.verticalCenter
            width: Math.min(resultText.implicitWidth + 20, parent.width - testButton.width - 12)
            height: resultText.height + 12
            radius: 8
            color: Qt.rgba(tint.r, tint.g, tint.b, 0.14)

            Text {
                id: resultText
                objectName: "apiTestMessage"
                x: 10
                y: 6
                width: resultChip.width - 20
                text: section.controller.apiTestMessage
                // Server and model texts are shown as they are, never read as markup.
                textFormat: Text.PlainText
                color: section.controller.apiTestSucceeded ? Qt.darker(resultChip.tint, 1.2) : section.theme.secondaryText
                font.pixelSize: 12
                wrapMode: Text.Wrap
            }
        }
    }
}

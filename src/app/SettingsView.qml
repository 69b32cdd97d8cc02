// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

import QtQuick
import Norvane.Settings
import QtQuick.Controls.Basic

// The settings window's content, in setup or standard presentation. It binds to the application state
// through its controller and keeps no copy of it.
Item {
    id: root

    required property SettingsController controller
    readonly property AppState appState: controller.appState
    readonly property bool isSetup: controller.isSetup
    readonly property color monitoringTint: Qt.rgba(0.42, 0.40, 0.80, 1)

    implicitWidth: 520
    implicitHeight: 700

    SystemPalette {
        id: palette
    }

    Theme {
        id: look
        dark: palette.window.hslLightness < 0.5
    }

    SettingsBackground {
        anchors.fill: parent
        warm: root.controller.brandTint
        cool: root.controller.coolTint
        startColor: look.backgroundStart
        endColor: look.backgroundEnd
        glowOpacity: look.glowOpacity
    }

    Flickable {
        id: scrollArea
        objectName: "scrollArea"
        anchors.fill: parent
        contentWidth: width
        contentHeight: content.height + 48
        boundsBehavior: Flickable.StopAtBounds
        clip: true
        ScrollBar.vertical: ScrollBar {
            policy: scrollArea.contentHeight > scrollArea.height ? ScrollBar.AsNeeded : ScrollBar.AlwaysOff
        }

        Column {
            id: content
            objectName: "contentColumn"
            x: 24
            y: 24
            width: 472
            spacing: 18

            CommandBar {
                objectName: "commandBar"
                width: parent.width
                visible: root.controller.commands !== null && root.controller.commands.showsInWindow
                theme: look
                commands: root.controller.commands
                tint: root.controller.brandTint
            }

            // Hero header
            Row {
                id: heroHeader
                objectName: "heroHeader"
                width: parent.width
                spacing: 16

                IconTile {
                    objectName: "heroIcon"
                    size: 56
                    glyphScale: 0.5
                    symbol: root.isSetup ? "wand.and.stars.inverse" : "slider.horizontal.3"
                    tint: root.controller.brandTint
                }
                Column {
                    width: parent.width - 72
                    spacing: 6

                    Text {
                        objectName: "heroTitle"
                        text: root.isSetup ? qsTr("Set Up Norvane") : qsTr("Norvane Settings")
                        color: look.primaryText
                        font.pixelSize: 26
                        font.weight: Font.Bold
                    }
                    Text {
                        objectName: "heroSubtitle"
                        width: parent.width
                        text: root.isSetup
                              ? qsTr("Add your Gemini key, confirm permissions, and shape how aggressively Norvane watches for opportunities.")
                              : qsTr("Tune capture behavior, permissions, and debugging tools with a cleaner view of what the app is doing locally.")
                        color: look.secondaryText
                        font.pixelSize: 13
                        wrapMode: Text.WordWrap
                        lineHeight: 1.1
                    }
                    Row {
                        spacing: 8
                        topPadding: 4

                        StatusBadge {
                            objectName: "monitoringStatusBadge"
                            theme: look
                            text: root.controller.monitoringStatusTitle
                            tint: root.controller.monitoringStatusTint
                        }
                        StatusBadge {
                            objectName: "confidenceBadge"
                            theme: look
                            text: qsTr("Confidence %1").arg(root.controller.confidenceText)
                            tint: root.controller.coolTint
                        }
                    }
                }
            }

            // The sections, in the order of the presentation; exclusions once set up.
            Loader {
                width: parent.width
                sourceComponent: root.isSetup ? geminiSection : monitoringSection
            }
            Loader {
                width: parent.width
                sourceComponent: root.isSetup ? permissionsSection : geminiSection
            }
            Loader {
                width: parent.width
                sourceComponent: root.isSetup ? monitoringSection : permissionsSection
            }
            // Qt 6.4's Loader gives what it loads a context of its own, so bound components fail there: these
            // stay unbound and reach the view's ids through its context, which this qmllint cannot follow.
            // qmllint disable unqualified
            Loader {
                width: parent.width
                active: !root.isSetup
                visible: active
                sourceComponent: ExclusionsSection {
                    objectName: "exclusionsSection"
                    theme: look
                    appState: root.appState
                }
            }

            Loader {
                width: parent.width
                active: !root.isSetup && root.controller.captures !== null
                visible: active
                sourceComponent: CapturesSection {
                    theme: look
                    captures: root.controller.captures
                    tint: root.controller.coolTint
                }
            }
            // qmllint enable unqualified

            HistorySection {
                objectName: "historySection"
                width: parent.width
                theme: look
                tint: root.monitoringTint
                commands: root.controller.commands
            }

            StartupSection {
                width: parent.width
                visible: !root.isSetup
                theme: look
                tint: root.monitoringTint
            }

            // Footer
            Item {
                objectName: "footer"
                width: parent.width
                height: footerButton.implicitHeight

                Text {
                    objectName: "footerCaption"
                    anchors.verticalCenter: parent.verticalCenter
                    text: root.isSetup ? qsTr("Setup only needs to happen once.") : qsTr("Changes save immediately.")
                    color: look.secondaryText
                    font.pixelSize: 12
                }
                TintedButton {
                    id: footerButton
                    objectName: "footerButton"
                    anchors.right: parent.right
                    theme: look
                    text: root.isSetup ? qsTr("Continue") : qsTr("Done")
                    tint: root.controller.brandTint
                    enabled: root.controller.footerButtonEnabled
                    onClicked: root.controller.close()
                }
            }
        }
    }

    // Unbound for the Loaders above, like the sections there.
    // qmllint disable unqualified
    Component {
        id: geminiSection

        ModelSection {
            objectName: "geminiSection"
            theme: look
            appState: root.appState
            controller: root.controller
        }
    }

    Component {
        id: permissionsSection

        SettingsSection {
            objectName: "permissionsSection"
            theme: look
            title: qsTr("Permissions")
            subtitle: qsTr("What this session lets Norvane see and do, and what it cannot.")
            symbol: "hand.raised"
            tint: root.controller.coolTint

            Repeater {
                model: root.controller.sessionCapabilities

                PermissionCard {
                    required property var modelData
                    required property int index
                    objectName: "capabilityCard"
                    theme: look
                    title: modelData.name
                    symbol: index === 0 ? "eye" : index === 1 ? "waveform.path.ecg" : "record.circle"
                    granted: modelData.available
                    grantedText: qsTr("Available")
                    description: modelData.explanation
                    grantedTint: root.controller.successTint
                    missingTint: root.controller.brandTint
                }
            }
            Row {
                width: parent.width
                spacing: 12

                TintedButton {
                    id: refreshButton
                    objectName: "refreshPermissionsButton"
                    theme: look
                    prominent: false
                    text: qsTr("Refresh")
                    onClicked: root.controller.refreshPermissions()
                }
                TintedButton {
                    id: consentButton
                    objectName: "askForCaptureConsentButton"
                    theme: look
                    prominent: false
                    visible: root.controller.canAskForCaptureConsent
                    enabled: !root.controller.askingForCaptureConsent
                    text: qsTr("Ask the desktop again")
                    onClicked: root.controller.askForCaptureConsent()
                }
                Text {
                    objectName: "refreshPermissionsCaption"
                    anchors.verticalCenter: refreshButton.verticalCenter
                    width: parent.width - refreshButton.width - 12
                           - (consentButton.visible ? consentButton.width + 12 : 0)
                    text: root.controller.canAskForCaptureConsent
                          ? qsTr("The desktop's own dialog chooses the window or screen Norvane may see.")
                          : qsTr("Refresh reads again what this session offers.")
                    color: look.secondaryText
                    font.pixelSize: 12
                    wrapMode: Text.WordWrap
                }
            }
        }
    }

    Component {
        id: monitoringSection

        SettingsSection {
            objectName: "monitoringSection"
            theme: look
            title: qsTr("Monitoring")
            subtitle: qsTr("Adjust cadence, thresholds, and the amount of interruption tolerance.")
            symbol: "waveform.path.ecg"
            tint: root.monitoringTint

            ControlCard {
                objectName: "intervalCard"
                theme: look

                Item {
                    width: parent.width
                    height: intervalTitle.height

                    Text {
                        id: intervalTitle
                        objectName: "intervalTitle"
                        text: qsTr("Screenshot interval")
                        color: look.primaryText
                        font.pixelSize: 13
                        font.weight: Font.DemiBold
                    }
                    Text {
                        objectName: "intervalValueLabel"
                        anchors.right: parent.right
                        text: root.controller.screenshotIntervalLabel
                        color: look.secondaryText
                        font.pixelSize: 13
                    }
                }
                TintedSlider {
                    objectName: "intervalSlider"
                    width: parent.width
                    theme: look
                    tint: root.monitoringTint
                    showTicks: true
                    from: 0
                    to: root.controller.screenshotIntervalMaxIndex
                    stepSize: 1
                    value: root.controller.screenshotIntervalPosition
                    onMoved: root.controller.setScreenshotIntervalPosition(value)
                }
            }

            ControlCard {
                objectName: "confidenceCard"
                theme: look

                Item {
                    width: parent.width
                    height: confidenceTitle.height

                    Text {
                        id: confidenceTitle
                        objectName: "confidenceTitle"
                        text: qsTr("Confidence threshold")
                        color: look.primaryText
                        font.pixelSize: 13
                        font.weight: Font.DemiBold
                    }
                    Text {
                        objectName: "confidenceValueLabel"
                        anchors.right: parent.right
                        text: root.controller.confidenceText
                        color: look.secondaryText
                        font.pixelSize: 13
                    }
                }
                TintedSlider {
                    objectName: "confidenceSlider"
                    width: parent.width
                    theme: look
                    tint: root.controller.coolTint
                    from: 0.5
                    to: 0.9
                    stepSize: 0.05
                    value: root.controller.confidenceSliderValue
                    onMoved: root.controller.setConfidenceFromSlider(value)
                }
                Text {
                    objectName: "confidenceCaption"
                    width: parent.width
                    text: qsTr("Higher values mean fewer nudges, but more confidence that the interruption is worthwhile.")
                    color: look.secondaryText
                    font.pixelSize: 12
                    wrapMode: Text.WordWrap
                }
            }

            ControlCard {
                objectName: "nudgeBudgetCard"
                theme: look

                Repeater {
                    model: [
                        { name: "nudgesPerHour", title: qsTr("Cards per hour"), from: 1, to: 10, step: 1,
                          label: n => n === 1 ? qsTr("1 card") : qsTr("%1 cards").arg(n) },
                        { name: "nudgeGapMinutes", title: qsTr("Time between cards"), from: 0, to: 60, step: 5,
                          label: n => n === 0 ? qsTr("No minimum") : qsTr("%1 minutes").arg(n) }
                    ]

                    Column {
                        id: budget
                        required property var modelData
                        width: parent.width
                        spacing: 6

                        Item {
                            width: parent.width
                            height: budgetTitle.height

                            Text {
                                id: budgetTitle
                                text: budget.modelData.title
                                color: look.primaryText
                                font.pixelSize: 13
                                font.weight: Font.DemiBold
                            }
                            Text {
                                objectName: budget.modelData.name + "Label"
                                anchors.right: parent.right
                                text: budget.modelData.label(root.appState[budget.modelData.name])
                                color: look.secondaryText
                                font.pixelSize: 13
                            }
                        }
                        TintedSlider {
                            objectName: budget.modelData.name + "Slider"
                            width: parent.width
                            theme: look
                            tint: root.monitoringTint
                            from: budget.modelData.from
                            to: budget.modelData.to
                            stepSize: budget.modelData.step
                            value: root.appState[budget.modelData.name]
                            onMoved: root.appState[budget.modelData.name] = Math.round(value)
                        }
                    }
                }
                Text {
                    objectName: "nudgeBudgetCaption"
                    width: parent.width
                    text: qsTr("When the budget is spent, Norvane sends nothing to Gemini until a card could appear again. It never shows a card over a full-screen window.")
                    color: look.secondaryText
                    font.pixelSize: 12
                    wrapMode: Text.WordWrap
                }
            }

            ControlCard {
                objectName: "captureCountCard"
                theme: look
                Component.onCompleted: root.controller.startCaptureCountUpdates()

                Row {
                    spacing: 14

                    Text {
                        objectName: "captureCountValue"
                        anchors.verticalCenter: parent.verticalCenter
                        text: root.controller.captureCount
                        color: look.primaryText
                        font.pixelSize: 34
                        font.weight: Font.Bold
                    }
                    Column {
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 2

                        Text {
                            objectName: "captureCountLabel"
                            text: qsTr("Screenshots captured in last hour")
                            color: look.primaryText
                            font.pixelSize: 13
                            font.weight: Font.DemiBold
                        }
                        Text {
                            objectName: "captureCountCaption"
                            text: qsTr("This is a rolling one-hour count of successful captures.")
                            color: look.secondaryText
                            font.pixelSize: 12
                        }
                    }
                }
            }

            ControlCard {
                objectName: "diagnosticsCard"
                theme: look

                Item {
                    width: parent.width
                    height: diagnosticsTitle.height

                    Rectangle {
                        objectName: "diagnosticsDot"
                        anchors.verticalCenter: parent.verticalCenter
                        width: 10
                        height: 10
                        radius: 5
                        color: root.controller.diagnosticsTint
                    }
                    Text {
                        id: diagnosticsTitle
                        objectName: "diagnosticsTitle"
                        x: 18
                        text: root.controller.diagnosticsTitle
                        textFormat: Text.PlainText
                        color: look.primaryText
                        font.pixelSize: 13
                        font.weight: Font.DemiBold
                    }
                    Text {
                        objectName: "diagnosticsTime"
                        anchors.right: parent.right
                        anchors.verticalCenter: parent.verticalCenter
                        text: root.controller.diagnosticsTimeText
                        color: look.secondaryText
                        font.pixelSize: 12
                    }
                }
                Text {
                    objectName: "diagnosticsDetail"
                    width: parent.width
                    text: root.controller.diagnosticsDetail
                    // Server and model texts are shown as they are, never read as markup.
                    textFormat: Text.PlainText
                    color: look.secondaryText
                    font.pixelSize: 12
                    wrapMode: Text.WordWrap
                }
            }
        }
    }
    // qmllint enable unqualified
}

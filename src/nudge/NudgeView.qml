// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The nudge card. It draws the application state's current nudge in the face its phase calls for and
// keeps no copy of it; its only state of its own is the text in the answer field.
Item {
    id: root

    // Given as initial properties: the application state to draw and the coordinator that carries the
    // answer and the copy. This module registers no C++ types, so the linter sees plain QObjects here and
    // the lines that call into them switch its type check off.
    property QtObject appState
    property QtObject coordinator
    // False where no compositor blends windows: see-through corners would show black, so they are square.
    property bool translucent: true

    // What the user has typed. Reset from the nudge whenever another nudge takes its place, and kept
    // while the same nudge goes to loading and back after a failure.
    property string answer: ""

    // The answer field was pressed: the window hosting the card should now take keystrokes.
    signal answerFieldPressed()

    readonly property var nudge: appState ? appState.currentNudge : undefined // qmllint disable type
    readonly property bool hasNudge: nudge !== undefined && nudge !== null
    readonly property string phase: hasNudge ? nudge.phaseName : ""
    readonly property bool hasRecommendation: hasNudge && nudge.hasRecommendation
    // "About" once: the model often writes the effort as "~2 minutes" itself.
    readonly property string effortText: {
        const effort = hasRecommendation ? nudge.recommendation.effort : ""
        return effort.startsWith("~") ? effort : "~" + effort
    }
    readonly property string promptDisplay: hasRecommendation ? nudge.recommendation.promptText.trim() : ""

    property string shownNudgeId: ""

    function syncAnswerWithNudge() {
        // Reads `nudge` itself: the bindings derived from it may not have caught up yet.
        const current = nudge
        const present = current !== undefined && current !== null
        const id = present ? current.id : ""
        if (id === shownNudgeId)
            return
        shownNudgeId = id
        answer = present ? current.userAnswer : ""
    }

    function submit() {
        if (coordinator)
            coordinator.submitAnswer(answer) // qmllint disable type
    }

    function dismiss(reason) {
        if (appState)
            appState.dismissCurrentNudge(reason) // qmllint disable type
    }

    onNudgeChanged: syncAnswerWithNudge()
    Component.onCompleted: syncAnswerWithNudge()

    implicitWidth: 420
    implicitHeight: content.implicitHeight + content.anchors.margins * 2

    Rectangle {
        objectName: "cardBackground"
        anchors.fill: parent
        radius: root.translucent ? 12 : 0
        border.width: 1
        border.color: NudgeTheme.cardOutline
        gradient: Gradient {
            GradientStop { position: 0; color: NudgeTheme.cardTop }
            GradientStop { position: 1; color: NudgeTheme.cardBottom }
        }
    }

    ColumnLayout {
        id: content
        objectName: "cardContent"
        // Fills the card: when the panel is taller than the content needs (it is at least 200 high), the
        // loading face takes the spare room and centres itself in it.
        anchors.fill: parent
        anchors.margins: 16
        spacing: 12

        // Header
        RowLayout {
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignTop
            spacing: 8

            Text {
                objectName: "titleText"
                text: "Norvane"
                textFormat: Text.PlainText
                font.pixelSize: NudgeTheme.captionSize
                font.weight: Font.DemiBold
                font.letterSpacing: 0.4
                color: NudgeTheme.secondaryText
                Layout.alignment: Qt.AlignVCenter
            }

            Item { Layout.fillWidth: true }

            AbstractButton {
                id: closeButton
                objectName: "closeButton"
                implicitWidth: 24
                implicitHeight: 24
                hoverEnabled: true
                focusPolicy: Qt.NoFocus
                Layout.alignment: Qt.AlignVCenter
                Accessible.name: qsTr("Close")
                onClicked: root.dismiss("close-button")

                background: Rectangle {
                    radius: 12
                    color: closeButton.down ? Qt.rgba(1, 1, 1, 0.18)
                                            : closeButton.hovered ? Qt.rgba(1, 1, 1, 0.13) : Qt.rgba(1, 1, 1, 0.08)
                }
                // An "x" drawn from two strokes, crisp at any scale and independent of the fonts installed.
                contentItem: Item {
                    Repeater {
                        model: [45, -45]
                        Rectangle {
                            required property int modelData
                            anchors.centerIn: parent
                            width: 9
                            height: 1.6
                            radius: 0.8
                            antialiasing: true
                            rotation: modelData
                            color: closeButton.hovered ? NudgeTheme.primaryText : NudgeTheme.secondaryText
                        }
                    }
                }
            }
        }

        // Question face
        ColumnLayout {
            objectName: "questionFace"
            visible: root.phase === "question"
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignTop
            spacing: 12

            Text {
                objectName: "observationText"
                Layout.fillWidth: true
                text: root.hasNudge ? root.nudge.opportunity.observation : ""
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                font.pixelSize: NudgeTheme.bodySize
                font.weight: Font.Medium
                lineHeight: 1.15
                color: NudgeTheme.primaryText
            }

            Text {
                objectName: "questionText"
                Layout.fillWidth: true
                text: root.hasNudge ? root.nudge.opportunity.question : ""
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                font.pixelSize: NudgeTheme.bodySize
                lineHeight: 1.15
                color: NudgeTheme.secondaryText
            }

            Text {
                objectName: "errorText"
                Layout.fillWidth: true
                visible: root.hasNudge && root.nudge.hasErrorMessage
                text: root.hasNudge ? root.nudge.errorMessage : ""
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                font.pixelSize: NudgeTheme.captionSize
                color: NudgeTheme.warning
            }

            TextField {
                id: answerField
                objectName: "answerField"
                Layout.fillWidth: true
                implicitHeight: 32
                leftPadding: 10
                rightPadding: 10
                text: root.answer
                placeholderText: qsTr("Tell Norvane what you're doing")
                placeholderTextColor: NudgeTheme.placeholderText
                color: NudgeTheme.primaryText
                selectionColor: NudgeTheme.accent
                selectedTextColor: "white"
                font.pixelSize: NudgeTheme.bodySize
                verticalAlignment: TextInput.AlignVCenter
                onTextEdited: root.answer = text
                onAccepted: root.submit()
                onPressed: root.answerFieldPressed()

                background: Rectangle {
                    radius: 7
                    color: NudgeTheme.fieldFill
                    border.width: answerField.activeFocus ? 2 : 1
                    border.color: answerField.activeFocus ? NudgeTheme.accent : NudgeTheme.fieldOutline
                }
            }

            RowLayout {
                Layout.fillWidth: true
                spacing: 8

                CardButton {
                    objectName: "tellMeButton"
                    text: qsTr("Tell me")
                    look: "prominent"
                    enabled: root.answer.trim().length > 0
                    onClicked: root.submit()
                }

                Item { Layout.fillWidth: true }

                CardButton {
                    objectName: "snoozeButton"
                    text: qsTr("Snooze 1 hour")
                    look: "plain"
                    Accessible.name: qsTr("Snooze nudges for 1 hour")
                    onClicked: if (root.appState) root.appState.snoozeNudges() // qmllint disable type
                }

                CardButton {
                    objectName: "notNowButton"
                    text: qsTr("Not now")
                    look: "plain"
                    onClicked: root.dismiss("not-now")
                }
            }
        }

        // Loading face
        ColumnLayout {
            id: loadingFace
            objectName: "loadingFace"
            visible: root.phase === "loadingRecommendation"
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 12

            Item { Layout.fillHeight: true }

            ProgressBar {
                id: progress
                objectName: "loadingIndicator"
                Layout.fillWidth: true
                Layout.topMargin: 4
                indeterminate: true
                implicitHeight: 4

                background: Rectangle {
                    radius: 2
                    color: Qt.rgba(1, 1, 1, 0.10)
                }
                contentItem: Item {
                    clip: true

                    Rectangle {
                        width: progress.width * 0.32
                        height: parent.height
                        radius: 2
                        gradient: Gradient {
                            orientation: Gradient.Horizontal
                            GradientStop { position: 0; color: Qt.rgba(0.24, 0.52, 0.97, 0) }
                            GradientStop { position: 0.5; color: NudgeTheme.accent }
                            GradientStop { position: 1; color: Qt.rgba(0.24, 0.52, 0.97, 0) }
                        }

                        NumberAnimation on x {
                            from: -progress.width * 0.32
                            to: progress.width
                            duration: 1200
                            easing.type: Easing.InOutQuad
                            loops: Animation.Infinite
                            running: loadingFace.visible
                        }
                    }
                }
            }

            Text {
                objectName: "loadingText"
                Layout.fillWidth: true
                text: qsTr("Generating one specific suggestion for what you’re doing right now.")
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                font.pixelSize: NudgeTheme.bodySize
                lineHeight: 1.15
                color: NudgeTheme.secondaryText
            }

            Item { Layout.fillHeight: true }
        }

        // Recommendation face
        ColumnLayout {
            objectName: "recommendationFace"
            visible: root.phase === "recommendation" && root.hasRecommendation
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignTop
            spacing: 12

            Text {
                objectName: "headlineText"
                Layout.fillWidth: true
                text: root.hasRecommendation ? root.nudge.recommendation.headline : ""
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                font.pixelSize: NudgeTheme.headlineSize
                font.weight: Font.DemiBold
                color: NudgeTheme.primaryText
            }

            Text {
                objectName: "detailText"
                Layout.fillWidth: true
                text: root.hasRecommendation ? root.nudge.recommendation.detail : ""
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                font.pixelSize: NudgeTheme.bodySize
                lineHeight: 1.15
                color: NudgeTheme.secondaryText
            }

            ColumnLayout {
                objectName: "promptBlock"
                visible: root.promptDisplay.length > 0
                Layout.fillWidth: true
                spacing: 8

                RowLayout {
                    Layout.fillWidth: true

                    Text {
                        objectName: "promptCaption"
                        text: qsTr("Prompt")
                        textFormat: Text.PlainText
                        font.pixelSize: NudgeTheme.captionSize
                        font.weight: Font.DemiBold
                        color: NudgeTheme.secondaryText
                        Layout.alignment: Qt.AlignVCenter
                    }

                    Item { Layout.fillWidth: true }

                    CardButton {
                        objectName: "copyButton"
                        text: root.hasNudge && root.nudge.didCopyPrompt ? qsTr("Copied") : qsTr("Copy")
                        look: "bordered"
                        small: true
                        onClicked: {
                            if (root.coordinator)
                                root.coordinator.copyPrompt() // qmllint disable type
                        }
                    }
                }

                Rectangle {
                    objectName: "promptBox"
                    Layout.fillWidth: true
                    implicitHeight: promptScroll.height + 20
                    radius: 8
                    color: Qt.rgba(0, 0, 0, 0.08)
                    border.width: 1
                    border.color: Qt.rgba(1, 1, 1, 0.06)

                    ScrollView {
                        id: promptScroll
                        objectName: "promptScroll"
                        x: 10
                        y: 10
                        width: parent.width - 20
                        height: Math.min(110, promptText.implicitHeight)
                        clip: true
                        contentWidth: availableWidth
                        ScrollBar.horizontal.policy: ScrollBar.AlwaysOff
                        ScrollBar.vertical: ScrollBar {
                            objectName: "promptScrollBar"
                            parent: promptScroll
                            x: promptScroll.width - width
                            height: promptScroll.height
                            policy: promptText.implicitHeight > 110 ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
                            contentItem: Rectangle {
                                implicitWidth: 4
                                radius: 2
                                color: Qt.rgba(1, 1, 1, 0.34)
                            }
                        }

                        TextArea {
                            id: promptText
                            objectName: "promptText"
                            text: root.promptDisplay
                            textFormat: TextEdit.PlainText
                            readOnly: true
                            selectByMouse: true
                            wrapMode: TextEdit.Wrap
                            padding: 0
                            rightPadding: 8
                            font.family: NudgeTheme.monospaceFamily
                            font.pixelSize: NudgeTheme.captionSize
                            color: NudgeTheme.primaryText
                            selectionColor: NudgeTheme.accent
                            selectedTextColor: "white"
                            background: null
                        }
                    }
                }
            }

            // Tags wrap onto a second line, and each wraps within the card, whatever length the model gives.
            Flow {
                id: tags
                objectName: "tagsRow"
                Layout.fillWidth: true
                Layout.preferredWidth: 0
                spacing: 8

                CardTag {
                    objectName: "effortTag"
                    maximumWidth: tags.width
                    text: root.effortText
                }

                CardTag {
                    objectName: "impactTag"
                    maximumWidth: tags.width
                    text: root.hasRecommendation ? root.nudge.recommendation.impact : ""
                }
            }

            RowLayout {
                Layout.fillWidth: true

                Item { Layout.fillWidth: true }

                CardButton {
                    objectName: "notUsefulButton"
                    text: qsTr("Not useful")
                    look: "plain"
                    onClicked: root.dismiss("not-useful")
                }
            }
        }
    }
}

import QtQuick

// Colours and opacities of the settings window; `dark` follows the system palette.
QtObject {
    id: theme

    property bool dark: false

    readonly property color primaryText: dark ? "#f2f1ef" : "#1d1d1f"
    readonly property color secondaryText: dark ? Qt.rgba(0.92, 0.92, 0.95, 0.62) : Qt.rgba(0.24, 0.24, 0.26, 0.66)

    readonly property color panelTop: dark ? Qt.rgba(1, 1, 1, 0.09) : Qt.rgba(1, 1, 1, 0.86)
    readonly property color panelBottom: dark ? Qt.rgba(1, 1, 1, 0.05) : Qt.rgba(1, 1, 1, 0.66)
    readonly property color panelBorder: dark ? Qt.rgba(1, 1, 1, 0.12) : Qt.rgba(0, 0, 0, 0.07)

    readonly property color cardTop: dark ? Qt.rgba(1, 1, 1, 0.07) : Qt.rgba(1, 1, 1, 0.95)
    readonly property color cardBottom: dark ? Qt.rgba(1, 1, 1, 0.03) : Qt.rgba(0.985, 0.98, 0.975, 0.9)
    readonly property color cardBorder: dark ? Qt.rgba(1, 1, 1, 0.10) : Qt.rgba(0, 0, 0, 0.06)

    readonly property color fieldFill: dark ? Qt.rgba(0, 0, 0, 0.25) : Qt.rgba(1, 1, 1, 1)
    readonly property color fieldBorder: dark ? Qt.rgba(1, 1, 1, 0.16) : Qt.rgba(0, 0, 0, 0.14)

    readonly property color backgroundStart: dark ? "#221d1a" : "#fbf3ea"
    readonly property color backgroundEnd: dark ? "#15202a" : "#e9f1f7"
    readonly property real glowOpacity: dark ? 0.20 : 0.26

    readonly property int sectionRadius: 24
    readonly property int cardRadius: 18
}

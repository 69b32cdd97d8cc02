import QtQuick
import QtQuick.Controls.Basic

// A button in one of two styles: prominent (filled with the tint) or bordered.
Button {
    id: control

    property color tint: "#de7d33"
    property bool prominent: true
    required property Theme theme

    implicitHeight: 34
    leftPadding: 16
    rightPadding: 16
    font.pixelSize: 13
    font.weight: Font.DemiBold
    hoverEnabled: true

    contentItem: Text {
        text: control.text
        font: control.font
        color: control.prominent ? "white" : control.theme.primaryText
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }

    background: Rectangle {
        radius: 10
        opacity: control.enabled ? 1 : 0.42
        color: control.prominent
               ? (control.down ? Qt.darker(control.tint, 1.15) : control.hovered ? Qt.lighter(control.tint, 1.06) : control.tint)
               : (control.down ? Qt.rgba(0.5, 0.5, 0.5, 0.18) : control.hovered ? Qt.rgba(0.5, 0.5, 0.5, 0.10) : "transparent")
        border.width: control.prominent ? 0 : 1
        border.color: control.theme.fieldBorder
    }
}

#include "platform/x11/RawInputClassifier.h"

#include <QTest>

using namespace norvane;

Q_DECLARE_METATYPE(norvane::InputEventType)

namespace {
std::optional<InputEventType> typeOf(const std::optional<InputEvent>& event) {
    return event ? std::optional(event->type) : std::nullopt;
}
} // namespace

class TestRawInputClassifier : public QObject {
    Q_OBJECT
private slots:

    void modifierKeysAreNotKeyPresses() {
        RawInputClassifier classifier;
        classifier.setModifierKeycodes({50, 37, 133});
        QCOMPARE(classifier.keyPressed(50).type, InputEventType::ModifierKeyChanged);
        QCOMPARE(classifier.keyPressed(133).type, InputEventType::ModifierKeyChanged);
        QCOMPARE(classifier.keyPressed(38).type, InputEventType::KeyDown);
    }

    void buttonPresses_data() {
        QTest::addColumn<uint>("button");
        QTest::addColumn<bool>("emulated");
        QTest::addColumn<std::optional<InputEventType>>("type");
        QTest::newRow("left") << 1u << false << std::optional(InputEventType::LeftMouseDown);
        QTest::newRow("middle") << 2u << false << std::optional(InputEventType::OtherMouseDown);
        QTest::newRow("right") << 3u << false << std::optional(InputEventType::RightMouseDown);
        QTest::newRow("wheel up") << 4u << false << std::optional(InputEventType::ScrollWheel);
        QTest::newRow("wheel right") << 7u << false << std::optional(InputEventType::ScrollWheel);
        QTest::newRow("back") << 8u << false << std::optional(InputEventType::OtherMouseDown);
        // The server's legacy presses for a smooth scroll already reported as motion.
        QTest::newRow("emulated wheel") << 4u << true << std::optional<InputEventType>();
        QTest::newRow("no button") << 0u << false << std::optional<InputEventType>();
    }

    void buttonPresses() {
        QFETCH(uint, button);
        QFETCH(bool, emulated);
        QFETCH(std::optional<InputEventType>, type);
        RawInputClassifier classifier;
        const auto event = classifier.buttonPressed(button, emulated);
        QCOMPARE(typeOf(event), type);
        if (event && type != InputEventType::ScrollWheel)
            QCOMPARE(event->button, int(button));
    }

    void releasesReportUpAndEndDrags() {
        RawInputClassifier classifier;
        classifier.buttonPressed(1, false);
        QCOMPARE(typeOf(classifier.buttonReleased(1, false)), std::optional(InputEventType::LeftMouseUp));
        QCOMPARE(typeOf(classifier.motion(false, true)), std::optional(InputEventType::MouseMoved));
        classifier.buttonPressed(3, false);
        QCOMPARE(typeOf(classifier.buttonReleased(3, false)), std::optional(InputEventType::RightMouseUp));
        classifier.buttonPressed(8, false);
        QCOMPARE(typeOf(classifier.buttonReleased(8, false)), std::optional(InputEventType::OtherMouseUp));
        QCOMPARE(typeOf(classifier.buttonReleased(5, false)), std::optional<InputEventType>());
        QCOMPARE(typeOf(classifier.motion(false, true)), std::optional(InputEventType::MouseMoved));
    }

    void dragKindFollowsTheHeldButton() {
        RawInputClassifier classifier;
        classifier.buttonPressed(3, false);
        QCOMPARE(typeOf(classifier.motion(false, true)), std::optional(InputEventType::RightMouseDragged));
        classifier.buttonPressed(1, false);
        QCOMPARE(typeOf(classifier.motion(false, true)), std::optional(InputEventType::LeftMouseDragged));
        classifier.buttonReleased(1, false);
        classifier.buttonReleased(3, false);
        classifier.buttonPressed(2, false);
        QCOMPARE(typeOf(classifier.motion(false, true)), std::optional(InputEventType::OtherMouseDragged));
        // Events missed while nobody listened must not leave a button stuck down.
        classifier.reset();
        QCOMPARE(typeOf(classifier.motion(false, true)), std::optional(InputEventType::MouseMoved));
    }

    void scrollAndMotionWithoutChange() {
        RawInputClassifier classifier;
        classifier.buttonPressed(4, false); // a wheel press is not a held button
        QCOMPARE(typeOf(classifier.motion(false, true)), std::optional(InputEventType::MouseMoved));
        // A smooth scroll counts once and wins over a drag.
        QCOMPARE(typeOf(classifier.motion(true, false)), std::optional(InputEventType::ScrollWheel));
        classifier.buttonPressed(1, false);
        QCOMPARE(typeOf(classifier.motion(true, true)), std::optional(InputEventType::ScrollWheel));
        QCOMPARE(typeOf(classifier.motion(false, false)), std::optional<InputEventType>());
    }
};

QTEST_GUILESS_MAIN(TestRawInputClassifier)
#include "tst_raw_input_classifier.moc"

#include "capture/WindowChoice.h"

#include <QTest>

using namespace norvane;

Q_DECLARE_METATYPE(norvane::WindowSnapshot)
Q_DECLARE_METATYPE(std::optional<norvane::FrontmostWindowInfo>)

namespace {

constexpr qint64 kOwnPid = 1000;
constexpr qint64 kEditorPid = 2000;

FrontmostApplication editor(std::optional<QString> name = QStringLiteral("Editor"),
                            std::optional<QString> bundle = QStringLiteral("org.example.editor"),
                            qint64 pid = kEditorPid) {
    return FrontmostApplication{pid, std::move(name), std::move(bundle)};
}

WindowListEntry entry(std::optional<quint32> number, std::optional<qint64> owner,
                      std::optional<QString> name = std::nullopt, std::optional<int> layer = 0,
                      std::optional<double> alpha = 1.0) {
    return WindowListEntry{number, owner, layer, alpha, std::move(name)};
}

FrontmostWindowInfo info(quint32 number, QString app, QString title, bool own = false) {
    return FrontmostWindowInfo{number, std::move(app), std::move(title), own};
}

} // namespace

class WindowChoiceTest : public QObject {
    Q_OBJECT
private slots:
    void choice_data() {
        QTest::addColumn<WindowSnapshot>("snapshot");
        QTest::addColumn<std::optional<FrontmostWindowInfo>>("expected");

        const QList<WindowListEntry> mixed = {
            entry(10, 3000, QStringLiteral("Other app")), // another process in front
            entry(11, kEditorPid, QStringLiteral("Menu"), 25),
            entry(12, kEditorPid, QStringLiteral("Invisible"), 0, 0.0),
            entry(13, kEditorPid, QStringLiteral("Draft")),
            entry(14, kEditorPid, QStringLiteral("Behind")),
        };

        QTest::newRow("no frontmost application")
            << WindowSnapshot{std::nullopt, mixed, std::nullopt} << std::optional<FrontmostWindowInfo>();
        QTest::newRow("first normal visible window of the process")
            << WindowSnapshot{editor(), mixed, std::nullopt}
            << std::optional(info(13, QStringLiteral("Editor"), QStringLiteral("Draft")));
        QTest::newRow("focused info without a number uses the list rule, focused title wins")
            << WindowSnapshot{editor(), mixed,
                              FocusedWindowInfo{std::nullopt, QStringLiteral("  Chapter 2 \n")}}
            << std::optional(info(13, QStringLiteral("Editor"), QStringLiteral("Chapter 2")));
        QTest::newRow("focused number picks that window without checking owner, layer or alpha")
            << WindowSnapshot{editor(), mixed, FocusedWindowInfo{12, std::nullopt}}
            << std::optional(info(12, QStringLiteral("Editor"), QStringLiteral("Invisible")));
        QTest::newRow("focused number of another process's window")
            << WindowSnapshot{editor(), mixed, FocusedWindowInfo{10, QStringLiteral("Focused")}}
            << std::optional(info(10, QStringLiteral("Editor"), QStringLiteral("Focused")));
        QTest::newRow("focused number not listed gives nothing, no fallback")
            << WindowSnapshot{editor(), mixed, FocusedWindowInfo{99, QStringLiteral("Elsewhere")}}
            << std::optional<FrontmostWindowInfo>();
        QTest::newRow("no window of the process") << WindowSnapshot{editor(), {entry(10, 3000)}, std::nullopt}
                                                  << std::optional<FrontmostWindowInfo>();
        QTest::newRow("empty list") << WindowSnapshot{editor(), {}, std::nullopt}
                                    << std::optional<FrontmostWindowInfo>();

        QTest::newRow("missing owner never matches, missing layer and alpha count as normal and visible")
            << WindowSnapshot{editor(),
                              {entry(20, std::nullopt, QStringLiteral("No owner")),
                               entry(21, kEditorPid, QStringLiteral("Defaults"), std::nullopt, std::nullopt)},
                              std::nullopt}
            << std::optional(info(21, QStringLiteral("Editor"), QStringLiteral("Defaults")));
        QTest::newRow("negative alpha is not visible")
            << WindowSnapshot{editor(),
                              {entry(22, kEditorPid, QStringLiteral("Gone"), 0, -1.0),
                               entry(23, kEditorPid, QStringLiteral("Faint"), 0, 0.01)},
                              std::nullopt}
            << std::optional(info(23, QStringLiteral("Editor"), QStringLiteral("Faint")));
        QTest::newRow("chosen window without a number gives nothing")
            << WindowSnapshot{editor(),
                              {entry(std::nullopt, kEditorPid), entry(31, kEditorPid)},
                              std::nullopt}
            << std::optional<FrontmostWindowInfo>();

        QTest::newRow("blank focused title falls through to the list name, trimmed")
            << WindowSnapshot{editor(),
                              {entry(40, kEditorPid, QStringLiteral("  Inbox  "))},
                              FocusedWindowInfo{40, QStringLiteral("   ")}}
            << std::optional(info(40, QStringLiteral("Editor"), QStringLiteral("Inbox")));
        QTest::newRow("blank titles everywhere give Untitled Window")
            << WindowSnapshot{editor(),
                              {entry(41, kEditorPid, QStringLiteral("\t\n"))},
                              FocusedWindowInfo{std::nullopt, std::nullopt}}
            << std::optional(info(41, QStringLiteral("Editor"), QStringLiteral("Untitled Window")));
        QTest::newRow("no title at all gives Untitled Window")
            << WindowSnapshot{editor(), {entry(42, kEditorPid)}, std::nullopt}
            << std::optional(info(42, QStringLiteral("Editor"), QStringLiteral("Untitled Window")));

        QTest::newRow("bundle identifier when there is no localized name")
            << WindowSnapshot{editor(std::nullopt),
                              {entry(50, kEditorPid, QStringLiteral("T"))},
                              std::nullopt}
            << std::optional(info(50, QStringLiteral("org.example.editor"), QStringLiteral("T")));
        QTest::newRow("Unknown App without name and bundle identifier")
            << WindowSnapshot{editor(std::nullopt, std::nullopt),
                              {entry(51, kEditorPid, QStringLiteral("T"))},
                              std::nullopt}
            << std::optional(info(51, QStringLiteral("Unknown App"), QStringLiteral("T")));
        QTest::newRow("application name is used untrimmed")
            << WindowSnapshot{editor(QStringLiteral(" Editor ")),
                              {entry(52, kEditorPid, QStringLiteral("T"))},
                              std::nullopt}
            << std::optional(info(52, QStringLiteral(" Editor "), QStringLiteral("T")));
        QTest::newRow("an empty localized name is still the name")
            << WindowSnapshot{editor(QString()), {entry(53, kEditorPid, QStringLiteral("T"))}, std::nullopt}
            << std::optional(info(53, QString(), QStringLiteral("T")));

        QTest::newRow("own app by process identifier")
            << WindowSnapshot{editor(QStringLiteral("Settings"), std::nullopt, kOwnPid),
                              {entry(60, kOwnPid, QStringLiteral("Norvane Settings"))},
                              std::nullopt}
            << std::optional(info(60, QStringLiteral("Settings"), QStringLiteral("Norvane Settings"), true));
        QTest::newRow("own app by the exact name in another process")
            << WindowSnapshot{editor(QStringLiteral("Norvane")), {entry(61, kEditorPid)}, std::nullopt}
            << std::optional(info(61, QStringLiteral("Norvane"), QStringLiteral("Untitled Window"), true));
        QTest::newRow("name comparison is case-sensitive")
            << WindowSnapshot{editor(QStringLiteral("norvane")), {entry(62, kEditorPid)}, std::nullopt}
            << std::optional(info(62, QStringLiteral("norvane"), QStringLiteral("Untitled Window"), false));
        QTest::newRow("bundle identifier Norvane is not the name")
            << WindowSnapshot{editor(std::nullopt, QStringLiteral("Norvane")),
                              {entry(63, kEditorPid)},
                              std::nullopt}
            << std::optional(info(63, QStringLiteral("Norvane"), QStringLiteral("Untitled Window"), false));
    }

    void choice() {
        QFETCH(WindowSnapshot, snapshot);
        QFETCH(std::optional<FrontmostWindowInfo>, expected);
        const auto actual = chooseFrontmostWindow(snapshot, kOwnPid);
        QCOMPARE(actual.has_value(), expected.has_value());
        if (expected) {
            QCOMPARE(actual->windowID, expected->windowID);
            QCOMPARE(actual->appName, expected->appName);
            QCOMPARE(actual->windowTitle, expected->windowTitle);
            QCOMPARE(actual->isOwnApp, expected->isOwnApp);
        }
    }
};

QTEST_GUILESS_MAIN(WindowChoiceTest)
#include "tst_window_choice.moc"

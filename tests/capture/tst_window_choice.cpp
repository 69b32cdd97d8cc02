#include "capture/WindowChoice.h"

#include <QTest>

using namespace norvane;

Q_DECLARE_METATYPE(norvane::WindowSnapshot)

namespace {

constexpr qint64 kOwnPid = 1000, kEditorPid = 2000;

FrontmostApplication editor(std::optional<QString> name = QStringLiteral("Editor"),
                            std::optional<QString> bundle = QStringLiteral("org.example.editor"),
                            qint64 pid = kEditorPid) {
    return {pid, std::move(name), std::move(bundle)};
}

WindowListEntry entry(std::optional<quint32> number, std::optional<qint64> owner = kEditorPid,
                      std::optional<QString> name = std::nullopt, std::optional<int> layer = 0,
                      std::optional<double> alpha = 1.0) {
    return {number, owner, layer, alpha, std::move(name)};
}

} // namespace

class WindowChoiceTest : public QObject {
    Q_OBJECT
private slots:
    // The expected result reads "window number|app|title|own", or "" for nothing.
    void choice_data() {
        QTest::addColumn<WindowSnapshot>("snapshot");
        QTest::addColumn<QString>("expected");
        const QList<WindowListEntry> mixed = {entry(10, 3000, "Other app"), entry(11, kEditorPid, "Menu", 25),
                                              entry(12, kEditorPid, "Invisible", 0, 0.0),
                                              entry(13, kEditorPid, "Draft"),
                                              entry(14, kEditorPid, "Behind")};
        const auto focused = [](std::optional<quint32> number, std::optional<QString> title) {
            return std::optional(FocusedWindowInfo{number, std::move(title)});
        };
        QTest::newRow("no frontmost application") << WindowSnapshot{std::nullopt, mixed, std::nullopt} << "";
        QTest::newRow("first normal visible window of the process")
            << WindowSnapshot{editor(), mixed, std::nullopt} << "13|Editor|Draft|0";
        QTest::newRow("focused title wins, trimmed")
            << WindowSnapshot{editor(), mixed, focused(std::nullopt, " Chapter 2 \n")}
            << "13|Editor|Chapter 2|0";
        QTest::newRow("focused number, whatever its owner, layer or alpha")
            << WindowSnapshot{editor(), mixed, focused(12, std::nullopt)} << "12|Editor|Invisible|0";
        QTest::newRow("focused number not listed: no guessing")
            << WindowSnapshot{editor(), mixed, focused(99, "Elsewhere")} << "";
        QTest::newRow("the chosen window has no number: no fallback")
            << WindowSnapshot{editor(), {entry(std::nullopt), entry(31)}, std::nullopt} << "";
        QTest::newRow("no window of the process")
            << WindowSnapshot{editor(), {entry(10, 3000)}, std::nullopt} << "";
        QTest::newRow("no owner never matches; no layer or alpha counts as normal and visible")
            << WindowSnapshot{editor(),
                              {entry(20, std::nullopt),
                               entry(21, kEditorPid, "D", std::nullopt, std::nullopt)},
                              std::nullopt}
            << "21|Editor|D|0";
        QTest::newRow("blank focused title: the listed name")
            << WindowSnapshot{editor(), {entry(40, kEditorPid, "  Inbox  ")}, focused(40, "   ")}
            << "40|Editor|Inbox|0";
        QTest::newRow("blank titles everywhere")
            << WindowSnapshot{editor(), {entry(41, kEditorPid, "\t\n")}, std::nullopt}
            << "41|Editor|Untitled Window|0";
        QTest::newRow("bundle identifier without a name")
            << WindowSnapshot{editor(std::nullopt), {entry(50)}, std::nullopt}
            << "50|org.example.editor|Untitled Window|0";
        QTest::newRow("neither") << WindowSnapshot{editor(std::nullopt, std::nullopt),
                                                   {entry(51)},
                                                   std::nullopt}
                                 << "51|Unknown App|Untitled Window|0";
        QTest::newRow("own process") << WindowSnapshot{editor("Settings", std::nullopt, kOwnPid),
                                                       {entry(60, kOwnPid)},
                                                       std::nullopt}
                                     << "60|Settings|Untitled Window|1";
        QTest::newRow("own name in another process")
            << WindowSnapshot{editor("Norvane"), {entry(61)}, std::nullopt} << "61|Norvane|Untitled Window|1";
        QTest::newRow("the name compared exactly")
            << WindowSnapshot{editor("norvane", "Norvane"), {entry(62)}, std::nullopt}
            << "62|norvane|Untitled Window|0";
    }
    void choice() {
        QFETCH(WindowSnapshot, snapshot);
        const auto chosen = chooseFrontmostWindow(snapshot, kOwnPid);
        QTEST(chosen ? QStringLiteral("%1|%2|%3|%4")
                           .arg(chosen->windowID)
                           .arg(chosen->appName, chosen->windowTitle)
                           .arg(int(chosen->isOwnApp))
                     : QString(),
              "expected");
    }
};

QTEST_GUILESS_MAIN(WindowChoiceTest)
#include "tst_window_choice.moc"

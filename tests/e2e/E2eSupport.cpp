#include "E2eSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QPoint>
#include <QProcessEnvironment>
#include <QRect>
#include <QSettings>
#include <QTest>

namespace norvane::testing {

namespace {

std::optional<QString> runProgram(const QString& program, const QStringList& arguments,
                                  int timeoutMs = 10000) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

} // namespace

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (true) {
        if (condition())
            return true;
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
}

std::optional<QString> xdotool(const QStringList& arguments) {
    return runProgram(QStringLiteral("xdotool"), arguments);
}

quint32 activeWindow() {
    return xdotool({QStringLiteral("getactivewindow")}).value_or(QString()).toUInt();
}

QList<quint32> visibleWindows(qint64 pid, const QString& titlePattern) {
    QList<quint32> windows;
    const auto found =
        xdotool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                 QStringLiteral("--pid"), QString::number(pid), QStringLiteral("--name"), titlePattern});
    if (!found)
        return windows; // xdotool exits with 1 when nothing matches
    for (const QString& line : found->split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        windows.append(line.trimmed().toUInt());
    return windows;
}

bool clickAt(int x, int y) {
    return xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(x),
                    QString::number(y), QStringLiteral("click"), QStringLiteral("1")})
        .has_value();
}

QString clipboardText() {
    return runProgram(QStringLiteral("xclip"),
                      {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")}, 5000)
        .value_or(QString());
}

// MARK: - Typing pad

TypingPad::TypingPad() : m_process(std::make_unique<QProcess>()) {
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(QStringLiteral(NORVANE_TYPING_PAD), {});
    waitUntil(
        [this] {
            readOutput();
            return m_id != 0 || m_process->state() == QProcess::NotRunning;
        },
        15000);
}

TypingPad::~TypingPad() {
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

void TypingPad::readOutput() {
    m_output += m_process->readAllStandardOutput();
    qsizetype end = 0;
    while ((end = m_output.indexOf('\n')) >= 0) {
        const QByteArray line = m_output.left(end).trimmed();
        m_output.remove(0, end + 1);
        if (line.startsWith("WINDOW "))
            m_id = line.mid(7).toUInt();
        else if (line.startsWith("KEYS "))
            m_keys = line.mid(5).toInt();
    }
}

int TypingPad::keys() {
    readOutput();
    return m_keys;
}

bool TypingPad::activate() {
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(m_id)});
    return waitUntil([this] { return activeWindow() == m_id; }, 10000);
}

bool TypingPad::typeOne(QChar character) {
    const int before = keys();
    if (!xdotool(
            {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("0"), QString(character)}))
        return false;
    return waitUntil([&] { return keys() > before; }, 5000);
}

// MARK: - The application

NorvaneInstance::NorvaneInstance(QString name, QString endpoint, QString apiKey)
    : m_name(std::move(name)), m_endpoint(std::move(endpoint)), m_apiKey(std::move(apiKey)) {}

NorvaneInstance::~NorvaneInstance() {
    // What the program said is the best clue to why a test failed.
    if (QTest::currentTestFailed())
        qWarning().noquote() << tail();
    if (m_process.state() != QProcess::NotRunning && !terminate()) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString NorvaneInstance::settingsFile() const {
    return m_root.filePath(QStringLiteral("config/Norvane/Norvane.ini"));
}

QString NorvaneInstance::dataDirectory() const {
    return m_root.filePath(QStringLiteral("data/Norvane/screenshots"));
}

bool NorvaneInstance::start() {
    if (!m_root.isValid())
        return false;
    const QDir root(m_root.path());
    for (const char* folder : {"home", "config", "data", "runtime"}) {
        if (!root.mkpath(QLatin1String(folder)))
            return false;
    }
    // Qt refuses a runtime folder that others may enter.
    QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    {
        QSettings settings(settingsFile(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("gemini_api_key"), m_apiKey);
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return false;
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), root.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("Norvane.*.debug=true"));
    env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    env.insert(QStringLiteral("NORVANE_TEST_GEMINI_ENDPOINT"), m_endpoint);
    env.insert(QStringLiteral("NORVANE_TEST_START_MONITORING"), QStringLiteral("1"));
    env.insert(QStringLiteral("NORVANE_TEST_LOG_DIAGNOSTICS"), QStringLiteral("1"));
    env.insert(QStringLiteral("NORVANE_TEST_CONTROL"), QStringLiteral("1"));
    m_process.setProcessEnvironment(env);
    m_process.setWorkingDirectory(root.filePath(QStringLiteral("home")));
    m_process.start(QStringLiteral(NORVANE_UNDER_TEST), {});
    return m_process.waitForStarted(10000);
}

bool NorvaneInstance::terminate() {
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    m_process.terminate();
    const bool ended = m_process.waitForFinished(20000);
    readAvailable();
    return ended && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

void NorvaneInstance::readAvailable() {
    m_stdout += m_process.readAllStandardOutput();
    m_stderr += m_process.readAllStandardError();
}

QByteArray NorvaneInstance::output() {
    readAvailable();
    return m_stdout + m_stderr;
}

QString NorvaneInstance::log() {
    readAvailable();
    return QString::fromUtf8(m_stderr);
}

std::optional<QRegularExpressionMatch> NorvaneInstance::find(const QRegularExpression& pattern,
                                                             qsizetype from) {
    const QRegularExpressionMatch match = pattern.match(log(), from);
    if (!match.hasMatch())
        return std::nullopt;
    return match;
}

bool NorvaneInstance::contains(const QString& text, qsizetype from) {
    return log().indexOf(text, from) >= 0;
}

int NorvaneInstance::count(const QString& text, qsizetype from) {
    const QString all = log();
    int found = 0;
    for (qsizetype at = all.indexOf(text, from); at >= 0; at = all.indexOf(text, at + text.size()))
        ++found;
    return found;
}

QString NorvaneInstance::tail(int lines) {
    const QStringList all = log().split(QLatin1Char('\n'));
    return QStringLiteral("---- %1 (last %2 lines) ----\n").arg(m_name).arg(lines) +
           all.mid(std::max<qsizetype>(0, all.size() - lines)).join(QLatin1Char('\n'));
}

QJsonObject NorvaneInstance::locate(const QString& objectName) {
    m_process.write("locate " + objectName.toUtf8() + '\n');
    QJsonObject answer;
    waitUntil(
        [&] {
            readAvailable();
            const qsizetype end = m_stdout.indexOf('\n', m_controlRead);
            if (end < 0)
                return false;
            answer = QJsonDocument::fromJson(m_stdout.mid(m_controlRead, end - m_controlRead)).object();
            m_controlRead = end + 1;
            return true;
        },
        10000);
    return answer;
}

std::optional<QPoint> NorvaneInstance::settledCentre(const QString& objectName, int timeoutMs) {
    QRect previous;
    QRect settled;
    waitUntil(
        [&] {
            const QJsonObject item = locate(objectName);
            const bool shown = item.value(QStringLiteral("found")).toBool() &&
                               item.value(QStringLiteral("visible")).toBool() &&
                               item.value(QStringLiteral("panelVisible")).toBool() &&
                               item.value(QStringLiteral("panelOpacity")).toDouble() > 0.999;
            const QRect rect(item.value(QStringLiteral("x")).toInt(), item.value(QStringLiteral("y")).toInt(),
                             item.value(QStringLiteral("width")).toInt(),
                             item.value(QStringLiteral("height")).toInt());
            if (shown && rect == previous && rect.isValid())
                settled = rect;
            previous = shown ? rect : QRect();
            return settled.isValid();
        },
        timeoutMs);
    if (!settled.isValid())
        return std::nullopt;
    return settled.center();
}

} // namespace norvane::testing

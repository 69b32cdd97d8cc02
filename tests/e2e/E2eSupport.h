#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>

namespace norvane::testing {

// Runs `condition` while the event loop turns (so the loopback server and the child processes are
// served) until it holds or `timeoutMs` passes.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs);

// xdotool, run to completion; its trimmed standard output.
std::optional<QString> xdotool(const QStringList& arguments);
quint32 activeWindow();
// Visible windows of process `pid` whose title matches `titlePattern` (a regular expression).
QList<quint32> visibleWindows(qint64 pid, const QString& titlePattern);
// A left click at a point of the screen, as a user's pointer would make it.
bool clickAt(int x, int y);
// What another X client reads from the clipboard.
QString clipboardText();

// The typing pad: a window of another program that draws each key typed into it.
class TypingPad {
public:
    TypingPad();
    ~TypingPad();
    bool isReady() const { return m_id != 0; }
    quint32 id() const { return m_id; }
    // Keys the pad has drawn so far.
    int keys();
    // Brings the pad to the front and waits until it has the keyboard focus.
    bool activate();
    // Types one character and waits until the pad has drawn it (so it went to the pad).
    bool typeOne(QChar character);

private:
    void readOutput();
    std::unique_ptr<QProcess> m_process;
    QByteArray m_output;
    quint32 m_id = 0;
    int m_keys = 0;
};

// One running copy of the application under test, in its own home: settings, data and runtime folders
// in a temporary directory, the API key in its settings store, the model service at `endpoint`.
class NorvaneInstance {
public:
    NorvaneInstance(QString name, QString endpoint, QString apiKey);
    ~NorvaneInstance();

    bool start();
    // SIGTERM, as a logout would send; true when it ended by itself with status 0.
    bool terminate();

    const QString& name() const { return m_name; }
    qint64 pid() const { return m_process.processId(); }
    bool isRunning() const { return m_process.state() == QProcess::Running; }

    // Everything the process has written to stdout and stderr so far.
    QByteArray output();
    // The log (stderr) so far; a position in it marks "from now on".
    QString log();
    qsizetype mark() { return log().size(); }
    // The first match of `pattern` in the log at or after `from`.
    std::optional<QRegularExpressionMatch> find(const QRegularExpression& pattern, qsizetype from = 0);
    bool contains(const QString& text, qsizetype from = 0);
    int count(const QString& text, qsizetype from = 0);
    // The log's last lines, for failure messages.
    QString tail(int lines = 60);

    // Asks the process where an item of the nudge card is (see norvane_under_test).
    QJsonObject locate(const QString& objectName);
    // The item's centre once the card has come to rest there: fully shown and in the same place twice.
    std::optional<QPoint> settledCentre(const QString& objectName, int timeoutMs);

    QString dataDirectory() const; // the screenshots folder
    QString settingsFile() const;

private:
    void readAvailable();

    QString m_name;
    QString m_endpoint;
    QString m_apiKey;
    QTemporaryDir m_root;
    QProcess m_process;
    QByteArray m_stdout;
    QByteArray m_stderr;
    qsizetype m_controlRead = 0;
};

} // namespace norvane::testing

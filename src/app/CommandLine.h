// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace norvane {

// One thing asked of Norvane from the command line, also the request sent to a running instance.
struct RemoteCommand {
    enum class Kind {
        Launch,
        MonitoringOn,
        MonitoringOff,
        MonitoringToggle,
        Pause,
        Resume,
        Settings,
        History,
        Status
    };
    static constexpr int maxPauseMinutes = 24 * 60;

    Kind kind = Kind::Launch;
    int pauseMinutes = 0;
    bool json = false; // status as a JSON object instead of a sentence

    // With no instance running: whether the command starts Norvane (it turns something on or shows a
    // window) rather than report that Norvane is not running.
    bool startsNorvane() const;

    QJsonObject toJson() const;
    // Nothing for an unknown command or a value out of range.
    static std::optional<RemoteCommand> fromJson(const QJsonObject& object);
    bool operator==(const RemoteCommand&) const = default;
};

// What the arguments ask for. Help and version print `text` on standard output and exit 0; a usage error
// prints `text` (the error, then the usage) on standard error and exits 2.
struct CommandLine {
    enum class Outcome { Run, Help, Version, UsageError };
    static constexpr int usageExitCode = 2;

    Outcome outcome = Outcome::Run;
    RemoteCommand command;
    QString text;
};

// `arguments` as QCoreApplication::arguments() gives them, program name first. More than one command at
// once is a usage error; "--open-settings" is the start-up switch and counts as a plain launch.
CommandLine parseCommandLine(const QStringList& arguments);

// Prints the help, the version or the usage error, and gives the exit code.
int finishCommandLine(const CommandLine& commandLine);
// One line of a command's output: on standard error when the command failed, else on standard output.
void printCommandOutput(bool failed, const QString& text);

// The client side: sends the command to the running instance on `serverName`, prints its answer and
// returns the exit code. Nothing when Norvane should start in this process (no instance runs and the
// command starts it); `arguments` are handed over as a second launch for a plain launch.
std::optional<int> forwardToRunningInstance(const QString& serverName, const RemoteCommand& command,
                                            const QStringList& arguments);

} // namespace norvane

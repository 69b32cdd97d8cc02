// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "CommandLine.h"

#include "SingleInstance.h"
#include "StartupDecision.h"
#include "StatusReport.h"
#include "model/Logging.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cstdio>

namespace norvane {

namespace {

class CommandLineTexts {
    Q_DECLARE_TR_FUNCTIONS(CommandLine)
};

using Kind = RemoteCommand::Kind;

// The raw names of the commands on the socket.
constexpr std::array kKindNames{std::pair{Kind::Launch, "launch"},
                                std::pair{Kind::MonitoringOn, "monitoring-on"},
                                std::pair{Kind::MonitoringOff, "monitoring-off"},
                                std::pair{Kind::MonitoringToggle, "monitoring-toggle"},
                                std::pair{Kind::Pause, "pause"},
                                std::pair{Kind::Resume, "resume"},
                                std::pair{Kind::Settings, "settings"},
                                std::pair{Kind::History, "history"},
                                std::pair{Kind::Status, "status"}};

bool validPauseMinutes(int minutes) {
    return minutes >= 1 && minutes <= RemoteCommand::maxPauseMinutes;
}

} // namespace

void printCommandOutput(bool failed, const QString& text) {
    FILE* stream = failed ? stderr : stdout;
    const QByteArray bytes =
        (text.endsWith(QLatin1Char('\n')) ? text : text + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

int finishCommandLine(const CommandLine& commandLine) {
    const bool failed = commandLine.outcome == CommandLine::Outcome::UsageError;
    printCommandOutput(failed, commandLine.text);
    return failed ? CommandLine::usageExitCode : 0;
}

bool RemoteCommand::startsNorvane() const {
    switch (kind) {
    case Kind::Launch:
    case Kind::MonitoringOn:
    case Kind::MonitoringToggle:
    case Kind::Settings:
    case Kind::History:
        return true;
    default:
        return false;
    }
}

QJsonObject RemoteCommand::toJson() const {
    QJsonObject object;
    for (const auto& [value, name] : kKindNames)
        if (value == kind)
            object.insert(QStringLiteral("command"), QLatin1String(name));
    if (kind == Kind::Pause)
        object.insert(QStringLiteral("minutes"), pauseMinutes);
    if (kind == Kind::Status)
        object.insert(QStringLiteral("json"), json);
    return object;
}

std::optional<RemoteCommand> RemoteCommand::fromJson(const QJsonObject& object) {
    const QString name = object.value(QStringLiteral("command")).toString();
    for (const auto& [value, rawName] : kKindNames) {
        if (name != QLatin1String(rawName))
            continue;
        RemoteCommand command{value};
        if (value == Kind::Pause) {
            command.pauseMinutes = object.value(QStringLiteral("minutes")).toInt();
            if (!validPauseMinutes(command.pauseMinutes))
                return std::nullopt;
        }
        command.json = value == Kind::Status && object.value(QStringLiteral("json")).toBool();
        return command;
    }
    return std::nullopt;
}

CommandLine parseCommandLine(const QStringList& arguments) {
    using Texts = CommandLineTexts;
    QCommandLineParser parser;
    parser.setApplicationDescription(Texts::tr("Norvane watches how you work and suggests a better way. "
                                               "With one of the options below it controls the running "
                                               "Norvane, starting it when the command needs it."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  Texts::tr("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"), Texts::tr("Show the version."));
    const QCommandLineOption monitoring(QStringLiteral("monitoring"),
                                        Texts::tr("Turn monitoring on or off, or toggle it."),
                                        QStringLiteral("on|off|toggle"));
    const QCommandLineOption pause(QStringLiteral("pause"),
                                   Texts::tr("Pause monitoring for 1 to 1440 minutes."),
                                   QStringLiteral("minutes"));
    const QCommandLineOption resume(QStringLiteral("resume"), Texts::tr("Resume paused monitoring."));
    const QCommandLineOption settings(QStringLiteral("settings"), Texts::tr("Show the settings window."));
    const QCommandLineOption history(QStringLiteral("history"), Texts::tr("Show the history window."));
    const QCommandLineOption status(QStringLiteral("status"), Texts::tr("Print what Norvane is doing."));
    const QCommandLineOption json(QStringLiteral("json"), Texts::tr("With --status: print it as JSON."));
    const QCommandLineOption openSettings(kOpenSettingsArgument.mid(2),
                                          Texts::tr("Open the settings window when Norvane starts."));
    parser.addOptions(
        {help, version, monitoring, pause, resume, settings, history, status, json, openSettings});

    const auto usageError = [&parser](const QString& error) {
        return CommandLine{
            CommandLine::Outcome::UsageError, {}, error + QLatin1Char('\n') + parser.helpText()};
    };
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help))
        return {CommandLine::Outcome::Help, {}, parser.helpText()};
    if (parser.isSet(version))
        return {CommandLine::Outcome::Version,
                {},
                QCoreApplication::applicationName() + QLatin1Char(' ') +
                    QCoreApplication::applicationVersion()};
    if (!parser.positionalArguments().isEmpty())
        return usageError(Texts::tr("Norvane takes no arguments besides options; \"%1\" is not one.")
                              .arg(parser.positionalArguments().constFirst()));

    int given = 0;
    RemoteCommand command;
    const auto take = [&](const QCommandLineOption& option, Kind kind) {
        // Each use counts, so "--pause 5 --pause 10" is two commands.
        const QStringList names = parser.optionNames();
        const auto uses = std::count_if(names.begin(), names.end(), [&option](const QString& name) {
            return option.names().contains(name);
        });
        given += int(uses);
        if (uses > 0)
            command.kind = kind;
    };
    take(monitoring, Kind::MonitoringOn);
    take(pause, Kind::Pause);
    take(resume, Kind::Resume);
    take(settings, Kind::Settings);
    take(history, Kind::History);
    take(status, Kind::Status);
    take(openSettings, Kind::Launch);
    if (given > 1)
        return usageError(Texts::tr("Give one command at a time."));
    if (parser.isSet(json) && command.kind != Kind::Status)
        return usageError(Texts::tr("--json goes with --status only."));
    command.json = parser.isSet(json);

    if (command.kind == Kind::MonitoringOn) {
        const QString state = parser.value(monitoring);
        if (state == QLatin1String("off"))
            command.kind = Kind::MonitoringOff;
        else if (state == QLatin1String("toggle"))
            command.kind = Kind::MonitoringToggle;
        else if (state != QLatin1String("on"))
            return usageError(Texts::tr("--monitoring takes on, off or toggle, not \"%1\".").arg(state));
    }
    if (command.kind == Kind::Pause) {
        const QString minutes = parser.value(pause);
        static const QRegularExpression digits(QStringLiteral("^[0-9]{1,4}$"));
        command.pauseMinutes = digits.match(minutes).hasMatch() ? minutes.toInt() : 0;
        if (!validPauseMinutes(command.pauseMinutes))
            return usageError(Texts::tr("--pause takes a whole number of minutes from 1 to 1440, not \"%1\".")
                                  .arg(minutes));
    }
    return {CommandLine::Outcome::Run, command, {}};
}

std::optional<int> forwardToRunningInstance(const QString& serverName, const RemoteCommand& command,
                                            const QStringList& arguments) {
    using Texts = CommandLineTexts;
    if (command.kind == Kind::Launch) {
        // A plain launch keeps the old hand-over, so an older running copy understands it too.
        if (!SingleInstance::handOver(serverName, arguments))
            return std::nullopt;
        qCInfo(lcApp) << "Norvane is already running; it will show its settings.";
        return 0;
    }
    const SingleInstance::Answer answer = SingleInstance::request(serverName, command.toJson());
    switch (answer.outcome) {
    case SingleInstance::Answer::Outcome::Answered: {
        const int exitCode = answer.reply.value(QStringLiteral("exitCode")).toInt(1);
        printCommandOutput(exitCode != 0, answer.reply.value(QStringLiteral("output")).toString());
        return exitCode;
    }
    case SingleInstance::Answer::Outcome::NoAnswer:
        printCommandOutput(true,
                           Texts::tr("Norvane did not answer within a second; it may be busy or stuck."));
        return 1;
    case SingleInstance::Answer::Outcome::NotRunning:
        break;
    }
    if (command.startsNorvane())
        return std::nullopt;
    const QJsonObject status = StatusReport::notRunning();
    printCommandOutput(false, command.json
                                  ? QString::fromUtf8(QJsonDocument(status).toJson(QJsonDocument::Compact))
                                  : StatusReport::sentence(status));
    return 0;
}

} // namespace norvane

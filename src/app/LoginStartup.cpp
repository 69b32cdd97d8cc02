// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "LoginStartup.h"

#include "model/Logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

#include <qcorofuture.h>

namespace norvane {

namespace {

const QString kEntryName = QStringLiteral("norvane.desktop");
const QString kInstalledEntry = QStringLiteral(":/norvane/data/norvane.desktop");

// One argument of an Exec line: quoted when it holds a character the launcher would read as syntax,
// with the quoting's own escapes, then the escapes every string value takes.
QString execArgument(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString text = argument;
    if (std::any_of(text.cbegin(), text.cend(), [](QChar c) { return reserved.contains(c); })) {
        QString quoted;
        for (const QChar c : text) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                quoted += u'\\';
            quoted += c;
        }
        text = u'"' + quoted + u'"';
    }
    text.replace(u'%', QStringLiteral("%%"));
    return text.replace(u'\\', QStringLiteral("\\\\"));
}

// Empty on success, else why not.
QString writeEntry(const QString& folder, const QString& path, const QByteArray& content) {
    if (!QDir(folder).exists()) {
        QDir().mkpath(QFileInfo(folder).path());
        QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return file.errorString();
    // A menu entry holds nothing private, and some desktops skip entries others cannot read.
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return file.commit() ? QString() : file.errorString();
}

QString removeEntry(const QString& path) {
    QFile file(path);
    return !file.exists() || file.remove() ? QString() : file.errorString();
}

} // namespace

LoginStartup::LoginStartup(QObject* parent)
    : LoginStartup(defaultFolder(), QCoreApplication::applicationFilePath(), parent) {}

LoginStartup::LoginStartup(QString autostartFolder, QString executable, QObject* parent)
    : QObject(parent), m_folder(std::move(autostartFolder)), m_executable(std::move(executable)) {
    m_worker.setMaxThreadCount(1);
}

LoginStartup::~LoginStartup() {
    m_worker.waitForDone();
}

QString LoginStartup::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

QString LoginStartup::entryPath() const {
    return m_folder + u'/' + kEntryName;
}

QByteArray LoginStartup::entryFor(const QString& executable) {
    QFile installed(kInstalledEntry);
    installed.open(QIODevice::ReadOnly);
    QStringList lines = QString::fromUtf8(installed.readAll()).split(u'\n');
    for (QString& line : lines) {
        if (line.startsWith(QLatin1String("Exec=")))
            line = QStringLiteral("Exec=") + execArgument(executable);
    }
    return lines.join(u'\n').toUtf8();
}

void LoginStartup::refresh() {
    read();
}

void LoginStartup::setEnabled(bool on) {
    ++m_changes;
    setState(on, {});
    apply(on);
}

QCoro::Task<> LoginStartup::read() {
    QPointer<LoginStartup> self(this);
    const int changes = m_changes;
    auto work = [path = entryPath()] { return QFile::exists(path); };
    QFuture<bool> exists = QtConcurrent::run(&m_worker, work);
    const bool present = co_await exists;
    if (self && self->m_changes == changes)
        self->setState(present, self->m_problem);
}

QCoro::Task<> LoginStartup::apply(bool on) {
    QPointer<LoginStartup> self(this);
    auto work = [folder = m_folder, path = entryPath(), content = on ? entryFor(m_executable) : QByteArray(),
                 on] { return on ? writeEntry(folder, path, content) : removeEntry(path); };
    QFuture<QString> done = QtConcurrent::run(&m_worker, work);
    const QString error = co_await done;
    if (!self || error.isEmpty())
        co_return;
    qCWarning(lcLoginStartup).noquote() << "The autostart entry" << self->entryPath() << "could not be"
                                        << (on ? "written:" : "removed:") << error;
    self->setState(!on, on ? tr("Norvane could not add itself to the programs that start when you log in "
                                "(%1).")
                                 .arg(error)
                           : tr("Norvane could not remove itself from the programs that start when you log "
                                "in (%1).")
                                 .arg(error));
}

void LoginStartup::setState(bool enabled, const QString& problem) {
    if (m_enabled != enabled) {
        m_enabled = enabled;
        Q_EMIT enabledChanged();
    }
    if (m_problem != problem) {
        m_problem = problem;
        Q_EMIT problemChanged();
    }
}

} // namespace norvane

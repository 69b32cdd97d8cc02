// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QtQml/qqmlregistration.h>

#include <qcorotask.h>

namespace norvane {

// Whether Norvane starts when the user logs in: the desktop's autostart entry, a copy of the installed
// menu entry that runs this very executable. The settings window makes one per view, so the box shows
// what the folder holds each time the window opens. The file work runs on a worker of its own, in order.
class LoginStartup : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool enabled READ isEnabled NOTIFY enabledChanged)
    Q_PROPERTY(QString problem READ problem NOTIFY problemChanged)

public:
    // The user's autostart folder and the running executable.
    explicit LoginStartup(QObject* parent = nullptr);
    LoginStartup(QString autostartFolder, QString executable, QObject* parent = nullptr);
    ~LoginStartup() override;

    // $XDG_CONFIG_HOME/autostart, ~/.config/autostart by default.
    static QString defaultFolder();
    QString entryPath() const;
    // The installed menu entry with Exec= running `executable`, quoted as desktop entries require.
    static QByteArray entryFor(const QString& executable);

    bool isEnabled() const { return m_enabled; }
    QString problem() const { return m_problem; }

    // Reads whether the entry exists.
    Q_INVOKABLE void refresh();
    // Writes or removes the entry; shows the new state at once and goes back with a problem on failure.
    Q_INVOKABLE void setEnabled(bool on);

Q_SIGNALS:
    void enabledChanged();
    void problemChanged();

private:
    QCoro::Task<> read();
    QCoro::Task<> apply(bool on);
    void setState(bool enabled, const QString& problem);

    QString m_folder;
    QString m_executable;
    bool m_enabled = false;
    // Counts the user's changes, so a read that began before one does not undo it.
    int m_changes = 0;
    QString m_problem;
    QThreadPool m_worker;
};

} // namespace norvane

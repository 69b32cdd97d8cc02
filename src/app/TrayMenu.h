// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "ShellCommands.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>

namespace norvane {

// The tray's drop-down menu: monitoring, pause/resume, resume time, separator, exclude the current app,
// settings, history, separator, quit; kept in step with the commands' titles and states.
class TrayMenu : public QObject {
    Q_OBJECT
public:
    explicit TrayMenu(ShellCommands* commands, QObject* parent = nullptr);
    ~TrayMenu() override;

    QMenu* menu() const { return m_menu.get(); }
    QAction* monitoringAction() const { return m_monitoring; }
    QAction* pauseAction() const { return m_pause; }
    QAction* resumeTimeAction() const { return m_resumeTime; }
    QAction* excludeAction() const { return m_exclude; }
    QAction* settingsAction() const { return m_settings; }
    QAction* historyAction() const { return m_history; }
    QAction* quitAction() const { return m_quit; }

private:
    void refresh();

    QPointer<ShellCommands> m_commands;
    std::unique_ptr<QMenu> m_menu;
    QAction* m_monitoring;
    QAction* m_pause;
    QAction* m_resumeTime;
    QAction* m_exclude;
    QAction* m_settings;
    QAction* m_history;
    QAction* m_quit;
};

// The tray icon: the open eye while watching, the crossed-out eye otherwise, with the menu attached.
// Where no tray exists yet the icon stays registered and appears once a tray shows up.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(ShellCommands* commands, QObject* parent = nullptr);

    // The coloured icon of the settings window and of trays that show pixels.
    static QIcon iconNamed(const QString& name);
    // The panel-coloured variant from the icon theme, for a tray that recolours icons.
    static QIcon symbolicIconNamed(const QString& name);
    QString currentIconName() const { return m_iconName; }
    TrayMenu* trayMenu() const { return m_menu; }
    QSystemTrayIcon* systemTrayIcon() const { return m_tray; }
    void show();

private:
    void refresh();

    QPointer<ShellCommands> m_commands;
    TrayMenu* m_menu;
    QSystemTrayIcon* m_tray;
    bool m_symbolic;
    QString m_iconName;
};

} // namespace norvane

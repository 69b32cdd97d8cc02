// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "TrayMenu.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>

namespace norvane {

namespace {

// A StatusNotifierItem host (KDE Plasma, GNOME with the AppIndicator extension) draws the icon itself and
// recolours a symbolic one for the panel's light or dark theme; Qt talks to it whenever one is
// registered. An XEmbed tray shows the pixels it is given, so it gets the coloured icon.
bool trayRecoloursSymbolicIcons() {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcher))
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(watcher, QStringLiteral("/StatusNotifierWatcher"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 1000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

} // namespace

TrayMenu::TrayMenu(ShellCommands* commands, QObject* parent)
    : QObject(parent), m_commands(commands), m_menu(std::make_unique<QMenu>()) {
    m_monitoring = m_menu->addAction(QString());
    m_pause = m_menu->addAction(QString());
    m_resumeTime = m_menu->addAction(QString());
    m_resumeTime->setEnabled(false); // plain text
    m_menu->addSeparator();
    m_exclude = m_menu->addAction(ShellCommands::translated(ShellCommands::excludeTitle));
    m_exclude->setEnabled(false); // until the menu opens and finds an application in front
    m_settings = m_menu->addAction(ShellCommands::translated(ShellCommands::settingsTitle));
    m_history = m_menu->addAction(ShellCommands::translated(ShellCommands::historyTitle));
    m_menu->addSeparator();
    m_quit = m_menu->addAction(ShellCommands::translated(ShellCommands::quitTitle));

    connect(m_monitoring, &QAction::triggered, this, [this] {
        if (m_commands)
            m_commands->toggleMonitoring();
    });
    connect(m_pause, &QAction::triggered, this, [this] {
        if (m_commands)
            m_commands->togglePause();
    });
    connect(m_exclude, &QAction::triggered, this, [this] {
        if (m_commands)
            m_commands->excludeCurrentApplication();
    });
    // The frontmost application changes without notice: asked each time the menu opens.
    connect(m_menu.get(), &QMenu::aboutToShow, this,
            [this] { m_exclude->setEnabled(m_commands && !m_commands->excludableApplication().isEmpty()); });
    connect(m_settings, &QAction::triggered, this, [this] {
        if (m_commands)
            m_commands->openSettings();
    });
    connect(m_history, &QAction::triggered, this, [this] {
        if (m_commands)
            m_commands->openHistory();
    });
    // Queued, so the menu has closed before the application starts to wind down.
    connect(
        m_quit, &QAction::triggered, this,
        [this] {
            if (m_commands)
                m_commands->quit();
        },
        Qt::QueuedConnection);
    if (m_commands)
        connect(m_commands, &ShellCommands::changed, this, &TrayMenu::refresh);
    refresh();
}

TrayMenu::~TrayMenu() = default;

void TrayMenu::refresh() {
    if (!m_commands)
        return;
    m_monitoring->setText(m_commands->monitoringTitle());
    m_pause->setText(m_commands->pauseTitle());
    m_pause->setEnabled(m_commands->pauseEnabled());
    m_resumeTime->setText(m_commands->resumeTimeTitle());
    m_resumeTime->setVisible(m_commands->resumeTimeVisible());
}

TrayIcon::TrayIcon(ShellCommands* commands, QObject* parent)
    : QObject(parent), m_commands(commands), m_menu(new TrayMenu(commands, this)),
      m_tray(new QSystemTrayIcon(this)), m_symbolic(trayRecoloursSymbolicIcons()) {
    m_tray->setToolTip(QStringLiteral("Norvane"));
    m_tray->setContextMenu(m_menu->menu());
    // A left click drops the menu down too, as a menu-bar item would.
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            m_menu->menu()->popup(QCursor::pos());
    });
    if (m_commands)
        connect(m_commands, &ShellCommands::changed, this, &TrayIcon::refresh);
    refresh();
}

QIcon TrayIcon::iconNamed(const QString& name) {
    return QIcon(QStringLiteral(":/qt/qml/Norvane/Settings/icons/%1.svg").arg(name));
}

QIcon TrayIcon::symbolicIconNamed(const QString& name) {
    // Installed with the program; a build run from its folder has only the coloured ones.
    const QString themed = name == QLatin1String("eye") ? QStringLiteral("norvane-watching-symbolic")
                                                        : QStringLiteral("norvane-off-symbolic");
    return QIcon::fromTheme(themed, iconNamed(name));
}

void TrayIcon::refresh() {
    const QString name = m_commands ? m_commands->iconName() : QStringLiteral("eye.slash");
    if (name == m_iconName)
        return;
    m_iconName = name;
    m_tray->setIcon(m_symbolic ? symbolicIconNamed(name) : iconNamed(name));
}

void TrayIcon::show() {
    m_tray->show();
}

} // namespace norvane

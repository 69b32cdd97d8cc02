// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "SystemFrontmostWindowProvider.h"

#include "X11Connection.h"
#include "XcbUtil.h"

#include <xcb/res.h>

#include <QFile>
#include <QHash>

#include <algorithm>

#include <unistd.h>

namespace norvane {

using x11::checkedReply;
using x11::propertyText;
using x11::propertyWords;
using x11::XcbPtr;
using Atom = X11Connection::Atom;

namespace {

constexpr uint32_t kMaxTitleWords = 1024; // titles up to 4 KiB
constexpr uint32_t kMaxListWords = 4096;

std::optional<QString> readComm(qint64 pid) {
    if (pid <= 0)
        return std::nullopt;
    QFile file(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString name = QString::fromUtf8(file.readAll()).trimmed();
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

// The parts of WM_CLASS ("instance\0class\0"), each possibly empty; nothing without a class part.
std::optional<std::pair<QString, QString>> wmClass(const xcb_get_property_reply_t* reply) {
    if (!reply || reply->format != 8)
        return std::nullopt;
    const char* data = static_cast<const char*>(xcb_get_property_value(reply));
    const QList<QByteArray> parts = QByteArray(data, xcb_get_property_value_length(reply)).split('\0');
    if (parts.size() < 2)
        return std::nullopt;
    return std::pair(QString::fromUtf8(parts[0]), QString::fromUtf8(parts[1]));
}

struct WindowRequests {
    xcb_get_property_cookie_t pid;
    xcb_get_property_cookie_t type;
    xcb_get_property_cookie_t transientFor;
    xcb_get_property_cookie_t state;
    xcb_get_property_cookie_t netName;
    xcb_get_property_cookie_t name;
    xcb_get_window_attributes_cookie_t attributes;
};

struct WindowFacts {
    std::optional<qint64> pid;
    int layer = 1;
    double alpha = 0.0;
    std::optional<QString> title;
    bool fullScreen = false;
};

WindowRequests requestFacts(xcb_connection_t* c, const X11Connection::Atoms& atoms, xcb_window_t window) {
    WindowRequests r;
    r.pid = xcb_get_property(c, 0, window, atoms[Atom::NetWmPid], XCB_ATOM_CARDINAL, 0, 1);
    r.type = xcb_get_property(c, 0, window, atoms[Atom::NetWmWindowType], XCB_ATOM_ATOM, 0, 32);
    r.transientFor = xcb_get_property(c, 0, window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 0, 1);
    r.state = xcb_get_property(c, 0, window, atoms[Atom::NetWmState], XCB_ATOM_ATOM, 0, 64);
    r.netName =
        xcb_get_property(c, 0, window, atoms[Atom::NetWmName], XCB_GET_PROPERTY_TYPE_ANY, 0, kMaxTitleWords);
    r.name = xcb_get_property(c, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, kMaxTitleWords);
    r.attributes = xcb_get_window_attributes(c, window);
    return r;
}

WindowFacts readFacts(xcb_connection_t* c, const X11Connection::Atoms& atoms, const WindowRequests& r) {
    WindowFacts facts;
    auto pid = checkedReply(xcb_get_property_reply, c, r.pid);
    auto type = checkedReply(xcb_get_property_reply, c, r.type);
    auto transientFor = checkedReply(xcb_get_property_reply, c, r.transientFor);
    auto state = checkedReply(xcb_get_property_reply, c, r.state);
    auto netName = checkedReply(xcb_get_property_reply, c, r.netName);
    auto name = checkedReply(xcb_get_property_reply, c, r.name);
    auto attributes = checkedReply(xcb_get_window_attributes_reply, c, r.attributes);

    int n = 0;
    if (const uint32_t* words = propertyWords(pid.get(), &n); n > 0 && words[0] > 0)
        facts.pid = qint64(words[0]);

    // Normal by the first recognised type (Qt's tool windows list UTILITY before NORMAL), or, without
    // any recognised type, when it is not transient for another window.
    std::optional<bool> normal;
    if (const uint32_t* types = propertyWords(type.get(), &n)) {
        for (int i = 0; i < n && !normal; ++i) {
            if (types[i] == XCB_ATOM_NONE)
                continue;
            if (types[i] == atoms[Atom::NetWmWindowTypeNormal])
                normal = true;
            else if (atoms.isOtherWindowType(types[i]))
                normal = false;
        }
    }
    if (!normal) {
        const uint32_t* owner = propertyWords(transientFor.get(), &n);
        normal = !(owner && n > 0 && owner[0] != XCB_WINDOW_NONE);
    }
    facts.layer = *normal ? 0 : 1;

    bool hidden = false;
    if (const uint32_t* states = propertyWords(state.get(), &n)) {
        for (int i = 0; i < n && states[i] != XCB_ATOM_NONE; ++i) {
            hidden = hidden || states[i] == atoms[Atom::NetWmStateHidden];
            facts.fullScreen = facts.fullScreen || states[i] == atoms[Atom::NetWmStateFullScreen];
        }
    }
    const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    facts.alpha = viewable && !hidden ? 1.0 : 0.0;

    // _NET_WM_NAME first; WM_NAME when it is missing or blank.
    const QString netTitle = propertyText(netName.get(), atoms[Atom::Utf8String]);
    if (!netTitle.trimmed().isEmpty())
        facts.title = netTitle;
    else if (const QString title = propertyText(name.get(), atoms[Atom::Utf8String]); !title.isEmpty())
        facts.title = title;
    else if (netName && netName->type != XCB_ATOM_NONE)
        facts.title = netTitle;
    return facts;
}

// Clients that do not set _NET_WM_PID: the server says which local process owns the window.
void resolveMissingPids(xcb_connection_t* c, const QList<xcb_window_t>& windows, QList<WindowFacts>& facts) {
    QList<QPair<int, xcb_res_query_client_ids_cookie_t>> pending;
    for (int i = 0; i < windows.size(); ++i) {
        if (facts[i].pid)
            continue;
        xcb_res_client_id_spec_t wanted{windows[i], XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        pending.append({i, xcb_res_query_client_ids(c, 1, &wanted)});
    }
    for (const auto& [i, cookie] : std::as_const(pending)) {
        auto reply = checkedReply(xcb_res_query_client_ids_reply, c, cookie);
        if (!reply)
            continue;
        for (auto ids = xcb_res_query_client_ids_ids_iterator(reply.get()); ids.rem;
             xcb_res_client_id_value_next(&ids)) {
            if ((ids.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
                xcb_res_client_id_value_value_length(ids.data) > 0) {
                facts[i].pid = qint64(xcb_res_client_id_value_value(ids.data)[0]);
                break;
            }
        }
    }
}

} // namespace

SystemFrontmostWindowProvider::SystemFrontmostWindowProvider(X11Connection* connection)
    : m_connection(connection) {}

std::optional<FrontmostWindowInfo> SystemFrontmostWindowProvider::frontmostWindowInfo() {
    return chooseFrontmostWindow(readSnapshot(), qint64(getpid()));
}

WindowSnapshot SystemFrontmostWindowProvider::readSnapshot() {
    WindowSnapshot snapshot;
    if (!m_connection->ensureConnected())
        return snapshot;
    xcb_connection_t* c = m_connection->connection();
    const auto& atoms = m_connection->atoms();
    const xcb_window_t root = m_connection->root();

    // Every request goes out before the first reply is read, so the whole read costs three round trips
    // at most (root properties, window properties, XRes for windows without _NET_WM_PID).
    auto activeCookie = xcb_get_property(c, 0, root, atoms[Atom::NetActiveWindow], XCB_ATOM_WINDOW, 0, 1);
    auto stackingCookie =
        xcb_get_property(c, 0, root, atoms[Atom::NetClientListStacking], XCB_ATOM_WINDOW, 0, kMaxListWords);
    auto activeReply = checkedReply(xcb_get_property_reply, c, activeCookie);
    auto stackingReply = checkedReply(xcb_get_property_reply, c, stackingCookie);

    int count = 0;
    const uint32_t* activeWords = propertyWords(activeReply.get(), &count);
    const xcb_window_t active = count > 0 ? activeWords[0] : xcb_window_t(XCB_WINDOW_NONE);
    if (active == XCB_WINDOW_NONE)
        return snapshot; // nothing is active (the desktop, or no window manager that says)

    QList<xcb_window_t> windows; // front to back
    const uint32_t* stacking = propertyWords(stackingReply.get(), &count);
    windows.reserve(count + 1);
    for (int i = count - 1; i >= 0; --i)
        windows.append(stacking[i]);
    // A window manager without a stacking list still names the active window; list just that one.
    if (!stackingReply || stackingReply->type == XCB_ATOM_NONE)
        windows.append(active);
    // Window managers may leave a closed window's id behind as the active one: nothing is active then.
    if (!windows.contains(active))
        return snapshot;

    QList<WindowRequests> requests;
    requests.reserve(windows.size() + 1);
    for (xcb_window_t window : std::as_const(windows))
        requests.append(requestFacts(c, atoms, window));
    auto classCookie = xcb_get_property(c, 0, active, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256);

    QList<WindowFacts> facts;
    facts.reserve(windows.size());
    for (const auto& r : std::as_const(requests))
        facts.append(readFacts(c, atoms, r));
    auto classReply = checkedReply(xcb_get_property_reply, c, classCookie);

    if (m_connection->hasRes())
        resolveMissingPids(c, windows, facts);
    m_connection->discardEvents();
    const WindowFacts& activeFacts = facts[windows.indexOf(active)];

    for (int i = 0; i < windows.size(); ++i) {
        WindowListEntry entry;
        entry.windowNumber = windows[i];
        entry.ownerProcessIdentifier = facts[i].pid;
        entry.layer = facts[i].layer;
        entry.alpha = facts[i].alpha;
        entry.name = facts[i].title;
        snapshot.windows.append(entry);
    }

    // The nudge card takes keystrokes without making Norvane the user's application: while one of our
    // own non-normal windows (the card is a utility window) has the focus, the application in front is
    // the one whose normal window stands highest among the other processes' windows.
    xcb_window_t frontmost = active;
    const qint64 ownPid = qint64(getpid());
    if (activeFacts.pid == ownPid && activeFacts.layer != 0) {
        for (int i = 0; i < windows.size(); ++i) {
            if (facts[i].layer == 0 && facts[i].alpha > 0 && facts[i].pid && *facts[i].pid != ownPid) {
                frontmost = windows[i];
                classReply = checkedReply(
                    xcb_get_property_reply, c,
                    xcb_get_property(c, 0, frontmost, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256));
                break;
            }
        }
    }
    const WindowFacts& frontmostFacts = facts[windows.indexOf(frontmost)];

    FrontmostApplication application;
    const auto frontmostPid = frontmostFacts.pid;
    application.processIdentifier = frontmostPid.value_or(0);
    if (const auto names = wmClass(classReply.get())) {
        if (!names->second.isEmpty())
            application.localizedName = names->second;
        application.classNames = {names->first, names->second};
    }
    application.bundleIdentifier = frontmostPid ? readComm(*frontmostPid) : std::nullopt;
    snapshot.application = application;
    snapshot.focused = FocusedWindowInfo{frontmost, frontmostFacts.title, frontmostFacts.fullScreen};
    return snapshot;
}

} // namespace norvane

// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "X11Connection.h"

#include "model/Logging.h"

#include "XcbUtil.h"

#include <xcb/composite.h>
#include <xcb/res.h>
#include <xcb/shm.h>

#include <QImage>
#include <QtEndian>

#include <array>

namespace norvane {

using x11::checkedReply;

QString describeUnreachableDisplay(const QString& displayName) {
    const QString display = displayName.isEmpty() ? qEnvironmentVariable("DISPLAY") : displayName;
    if (display.isEmpty()) {
        if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            return QStringLiteral(
                "This is a Wayland session without XWayland (DISPLAY is not set), and Norvane "
                "can only see windows and input through X11.");
        return QStringLiteral(
            "No X11 display is set (DISPLAY is empty), so Norvane cannot see windows or input.");
    }
    return QStringLiteral("The X11 display \"%1\" cannot be reached.").arg(display);
}

X11Connection::X11Connection(QObject* parent) : X11Connection(QString(), Options(), parent) {}

X11Connection::X11Connection(const QString& displayName, Options options, QObject* parent)
    : QObject(parent), m_displayName(displayName), m_options(options) {}

X11Connection::~X11Connection() {
    disconnectFromServer();
}

bool X11Connection::ensureConnected() {
    if (m_connection && !xcb_connection_has_error(m_connection))
        return true;
    disconnectFromServer();
    return connectToServer();
}

void X11Connection::disconnectFromServer() {
    if (m_connection)
        xcb_disconnect(m_connection);
    m_connection = nullptr;
    m_root = 0;
    m_hasComposite = m_hasShm = m_hasRes = false;
}

bool X11Connection::connectToServer() {
    int screenNumber = 0;
    const QByteArray name = m_displayName.toLocal8Bit();
    xcb_connection_t* connection = xcb_connect(name.isEmpty() ? nullptr : name.constData(), &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        m_unavailableReason = describeUnreachableDisplay(m_displayName);
        return false;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) {
        xcb_disconnect(connection);
        m_unavailableReason = describeUnreachableDisplay(m_displayName);
        return false;
    }
    m_connection = connection;
    m_root = screens.data->root;
    m_unavailableReason.clear();
    ++m_generation;
    if (m_generation == 1 && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        // Under XWayland the X server only knows the X11 applications: say so once, plainly.
        qCInfo(lcScreenshotService).noquote()
            << QStringLiteral("This is a Wayland session: Norvane sees only the windows and input of "
                              "applications that run through XWayland.");
    }

    m_atoms = internAtoms(connection);
    probeExtensions(connection);
    discardEvents();
    return true;
}

X11Connection::Atoms X11Connection::internAtoms(xcb_connection_t* connection) {
    using enum Atom;
    static constexpr auto names = [] {
        std::array<const char*, size_t(Count)> table{};
        const auto name = [&table](Atom atom, const char* text) { table[size_t(atom)] = text; };
        name(NetActiveWindow, "_NET_ACTIVE_WINDOW");
        name(NetClientListStacking, "_NET_CLIENT_LIST_STACKING");
        name(NetWmPid, "_NET_WM_PID");
        name(NetWmName, "_NET_WM_NAME");
        name(Utf8String, "UTF8_STRING");
        name(NetWmWindowType, "_NET_WM_WINDOW_TYPE");
        name(NetWmWindowTypeNormal, "_NET_WM_WINDOW_TYPE_NORMAL");
        name(NetWmState, "_NET_WM_STATE");
        name(NetWmStateHidden, "_NET_WM_STATE_HIDDEN");
        name(NetWmStateFullScreen, "_NET_WM_STATE_FULLSCREEN");
        name(NetWmWindowTypeDesktop, "_NET_WM_WINDOW_TYPE_DESKTOP");
        name(NetWmWindowTypeDock, "_NET_WM_WINDOW_TYPE_DOCK");
        name(NetWmWindowTypeToolbar, "_NET_WM_WINDOW_TYPE_TOOLBAR");
        name(NetWmWindowTypeMenu, "_NET_WM_WINDOW_TYPE_MENU");
        name(NetWmWindowTypeUtility, "_NET_WM_WINDOW_TYPE_UTILITY");
        name(NetWmWindowTypeSplash, "_NET_WM_WINDOW_TYPE_SPLASH");
        name(NetWmWindowTypeDialog, "_NET_WM_WINDOW_TYPE_DIALOG");
        name(NetWmWindowTypeDropdownMenu, "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU");
        name(NetWmWindowTypePopupMenu, "_NET_WM_WINDOW_TYPE_POPUP_MENU");
        name(NetWmWindowTypeTooltip, "_NET_WM_WINDOW_TYPE_TOOLTIP");
        name(NetWmWindowTypeNotification, "_NET_WM_WINDOW_TYPE_NOTIFICATION");
        name(NetWmWindowTypeCombo, "_NET_WM_WINDOW_TYPE_COMBO");
        name(NetWmWindowTypeDnd, "_NET_WM_WINDOW_TYPE_DND");
        return table;
    }();
    static_assert(std::find(names.begin(), names.end(), nullptr) == names.end(), "every atom has a name");

    // Everything is asked for at once and read afterwards: one round trip instead of twenty.
    std::array<xcb_intern_atom_cookie_t, names.size()> cookies;
    for (size_t i = 0; i < names.size(); ++i)
        cookies[i] = xcb_intern_atom(connection, 0, uint16_t(strlen(names[i])), names[i]);
    Atoms atoms;
    for (size_t i = 0; i < names.size(); ++i) {
        auto reply = checkedReply(xcb_intern_atom_reply, connection, cookies[i]);
        atoms.m_values[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    return atoms;
}

bool X11Connection::Atoms::isOtherWindowType(uint32_t atom) const {
    return atom != XCB_ATOM_NONE && std::find(m_values.begin() + size_t(Atom::NetWmWindowTypeDesktop),
                                              m_values.end(), atom) != m_values.end();
}

void X11Connection::probeExtensions(xcb_connection_t* connection) {
    xcb_prefetch_extension_data(connection, &xcb_composite_id);
    xcb_prefetch_extension_data(connection, &xcb_shm_id);
    xcb_prefetch_extension_data(connection, &xcb_res_id);
    const auto* composite = xcb_get_extension_data(connection, &xcb_composite_id);
    const auto* shm = xcb_get_extension_data(connection, &xcb_shm_id);
    const auto* res = xcb_get_extension_data(connection, &xcb_res_id);
    xcb_composite_query_version_cookie_t compositeVersion{};
    xcb_shm_query_version_cookie_t shmVersion{};
    xcb_res_query_version_cookie_t resVersion{};
    const bool wantComposite = m_options.useComposite && composite && composite->present;
    const bool wantShm = m_options.useShm && shm && shm->present;
    const bool wantRes = res && res->present;
    if (wantComposite)
        compositeVersion = xcb_composite_query_version(connection, 0, 4);
    if (wantShm)
        shmVersion = xcb_shm_query_version(connection);
    if (wantRes)
        resVersion = xcb_res_query_version(connection, 1, 2);

    if (wantComposite) {
        auto version = checkedReply(xcb_composite_query_version_reply, connection, compositeVersion);
        // Name-window-pixmap needs 0.2. Automatic redirection of the root's children keeps every top-level
        // window's contents off screen, so covered parts can be read; it ends with this connection.
        if (version && (version->major_version > 0 || version->minor_version >= 2)) {
            m_hasComposite =
                x11::requestSucceeded(connection, xcb_composite_redirect_subwindows_checked(
                                                      connection, m_root, XCB_COMPOSITE_REDIRECT_AUTOMATIC));
        }
    }
    if (wantShm)
        m_hasShm = bool(checkedReply(xcb_shm_query_version_reply, connection, shmVersion));
    if (wantRes) {
        auto version = checkedReply(xcb_res_query_version_reply, connection, resVersion);
        m_hasRes = version &&
                   (version->server_major > 1 || (version->server_major == 1 && version->server_minor >= 2));
    }
}

void X11Connection::discardEvents() {
    if (!m_connection)
        return;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection))
        std::free(event);
}

bool X11Connection::pixelLayout(uint8_t depth, uint32_t visual, PixelLayout* layout) const {
    if (!m_connection)
        return false;
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    // QImage's 32-bit formats are native-endian words; the server must send its pixels the same way.
    const bool serverLittleEndian = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    if (serverLittleEndian != (QSysInfo::ByteOrder == QSysInfo::LittleEndian))
        return false;

    int bitsPerPixel = 0;
    int scanlinePad = 0;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem; xcb_format_next(&formats)) {
        if (formats.data->depth == depth) {
            bitsPerPixel = formats.data->bits_per_pixel;
            scanlinePad = formats.data->scanline_pad;
        }
    }
    const xcb_visualtype_t* type = nullptr;
    for (auto screens = xcb_setup_roots_iterator(setup); screens.rem && !type; xcb_screen_next(&screens)) {
        for (auto depths = xcb_screen_allowed_depths_iterator(screens.data); depths.rem && !type;
             xcb_depth_next(&depths)) {
            for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
                 xcb_visualtype_next(&visuals)) {
                if (visuals.data->visual_id == visual) {
                    type = visuals.data;
                    break;
                }
            }
        }
    }
    if (!type || bitsPerPixel == 0)
        return false;

    const bool rgb888 = type->red_mask == 0xff0000 && type->green_mask == 0xff00 && type->blue_mask == 0xff;
    const bool rgb565 = type->red_mask == 0xf800 && type->green_mask == 0x07e0 && type->blue_mask == 0x1f;
    int format = QImage::Format_Invalid;
    if (bitsPerPixel == 32 && depth == 24 && rgb888)
        format = QImage::Format_RGB32;
    else if (bitsPerPixel == 32 && depth == 32 && rgb888)
        format = QImage::Format_ARGB32_Premultiplied; // X keeps translucent windows premultiplied
    else if (bitsPerPixel == 16 && depth == 16 && rgb565)
        format = QImage::Format_RGB16;
    if (format == QImage::Format_Invalid)
        return false;
    layout->bitsPerPixel = bitsPerPixel;
    layout->scanlinePad = scanlinePad;
    layout->qimageFormat = format;
    return true;
}

} // namespace norvane

// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "SystemInputEventSource.h"

#include "X11Connection.h"
#include "XcbUtil.h"
#include "model/Logging.h"

#include <xcb/xinput.h>

#include <QSocketNotifier>

#include <vector>

namespace norvane {

using x11::checkedReply;

namespace {

// Keysyms of keys that only modify others: Shift, Control, Caps Lock, Meta, Alt, Super, Hyper
// (0xffe1-0xffee), Mode_switch and Num_Lock, and the ISO level and group keys (AltGr among them).
bool isModifierKeysym(uint32_t keysym) {
    return (keysym >= 0xffe1 && keysym <= 0xffee) || keysym == 0xff7e || keysym == 0xff7f ||
           (keysym >= 0xfe01 && keysym <= 0xfe13);
}

bool isNonZero(const xcb_input_fp3232_t& value) {
    return value.integral != 0 || value.frac != 0;
}

} // namespace

SystemInputEventSource::SystemInputEventSource(QObject* parent) : SystemInputEventSource(QString(), parent) {}

SystemInputEventSource::SystemInputEventSource(const QString& displayName, QObject* parent)
    : QObject(parent), m_displayName(displayName) {}

SystemInputEventSource::~SystemInputEventSource() {
    disconnectFromServer();
}

bool SystemInputEventSource::isAvailable() {
    return ensureConnected();
}

bool SystemInputEventSource::ensureConnected() {
    if (m_connection && !xcb_connection_has_error(m_connection))
        return true;
    disconnectFromServer();

    int screenNumber = 0;
    const QByteArray name = m_displayName.toLocal8Bit();
    xcb_connection_t* c = xcb_connect(name.isEmpty() ? nullptr : name.constData(), &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        m_unavailableReason = describeUnreachableDisplay(m_displayName);
        return false;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    const xcb_query_extension_reply_t* xi = xcb_get_extension_data(c, &xcb_input_id);
    bool supported = screens.rem && xi && xi->present;
    if (supported) {
        // 2.2 is what we ask for; raw events for every client and smooth scrolling came with 2.1.
        auto version = checkedReply(xcb_input_xi_query_version_reply, c, xcb_input_xi_query_version(c, 2, 2));
        supported = version && version->major_version == 2 && version->minor_version >= 1;
    }
    if (!supported) {
        xcb_disconnect(c);
        m_unavailableReason = QStringLiteral("The X11 display does not offer XInput 2 raw events, so global "
                                             "keyboard and mouse activity cannot be seen.");
        return false;
    }
    m_connection = c;
    m_root = screens.data->root;
    m_xiOpcode = xi->major_opcode;
    m_unavailableReason.clear();
    refreshModifierKeycodes();

    m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SystemInputEventSource::readEvents);
    if (!m_listeners.empty())
        selectEvents(true);
    return true;
}

void SystemInputEventSource::disconnectFromServer() {
    m_notifier.reset();
    if (m_connection)
        xcb_disconnect(m_connection);
    m_connection = nullptr;
    m_selected = false;
    m_scrollValuators.clear();
    m_classifier.reset();
}

void SystemInputEventSource::selectEvents(bool selected) {
    if (!m_connection || m_selected == selected)
        return;
    struct {
        xcb_input_event_mask_t head;
        uint32_t mask;
    } masks[2];
    masks[0].head = {XCB_INPUT_DEVICE_ALL_MASTER, 1};
    masks[0].mask =
        selected ? uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS |
                            XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE | XCB_INPUT_XI_EVENT_MASK_RAW_MOTION)
                 : 0u;
    // Device hot-plugging reuses device ids; forget what we learnt about scroll axes when it happens.
    masks[1].head = {XCB_INPUT_DEVICE_ALL, 1};
    masks[1].mask = selected ? uint32_t(XCB_INPUT_XI_EVENT_MASK_HIERARCHY) : 0u;
    xcb_input_xi_select_events(m_connection, m_root, 2, &masks[0].head);
    xcb_flush(m_connection);
    m_selected = selected;
    if (!selected)
        m_classifier.reset(); // releases go unseen from now on
}

std::optional<InputEventSource::ListenerId> SystemInputEventSource::start(Listener listener) {
    if (!ensureConnected())
        return std::nullopt;
    const ListenerId id = m_nextListenerId++;
    m_listeners.emplace(id, std::move(listener));
    selectEvents(true);
    return id;
}

void SystemInputEventSource::stop(ListenerId id) {
    if (m_listeners.erase(id) == 0)
        return;
    if (m_listeners.empty())
        selectEvents(false);
}

std::optional<QPoint> SystemInputEventSource::pointerPosition() {
    if (!ensureConnected())
        return std::nullopt;
    auto reply = checkedReply(xcb_query_pointer_reply, m_connection, xcb_query_pointer(m_connection, m_root));
    // The round trip may have pulled events into xcb's queue without waking the notifier.
    if (!m_drainQueued) {
        m_drainQueued = true;
        QMetaObject::invokeMethod(this, &SystemInputEventSource::readEvents, Qt::QueuedConnection);
    }
    if (!reply)
        return std::nullopt;
    return QPoint(reply->root_x, reply->root_y);
}

void SystemInputEventSource::readEvents() {
    m_drainQueued = false;
    if (!m_connection)
        return;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        x11::XcbPtr<xcb_generic_event_t> owned(event);
        handleEvent(event);
        if (!m_connection)
            return; // a listener destroyed or reset us
    }
    if (xcb_connection_has_error(m_connection)) {
        qCCritical(lcInputActivityMonitor).noquote()
            << QStringLiteral("The connection to the X11 display was lost; keyboard and mouse activity is no "
                              "longer seen.");
        disconnectFromServer();
    }
}

void SystemInputEventSource::handleEvent(const xcb_generic_event_t* event) {
    const uint8_t type = event->response_type & 0x7f;
    if (type == XCB_MAPPING_NOTIFY) {
        refreshModifierKeycodes();
        return;
    }
    if (type != XCB_GE_GENERIC)
        return;
    const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
    if (generic->extension != m_xiOpcode)
        return;
    const auto* raw = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event);
    const bool emulated = raw->flags & XCB_INPUT_POINTER_EVENT_FLAGS_POINTER_EMULATED;
    switch (generic->event_type) {
    case XCB_INPUT_RAW_KEY_PRESS:
        dispatch(m_classifier.keyPressed(raw->detail));
        break;
    case XCB_INPUT_RAW_BUTTON_PRESS:
        if (auto e = m_classifier.buttonPressed(raw->detail, emulated))
            dispatch(*e);
        break;
    case XCB_INPUT_RAW_BUTTON_RELEASE:
        if (auto e = m_classifier.buttonReleased(raw->detail, emulated))
            dispatch(*e);
        break;
    case XCB_INPUT_RAW_MOTION:
        handleRawMotion(event);
        break;
    case XCB_INPUT_HIERARCHY:
        m_scrollValuators.clear();
        break;
    default:
        break;
    }
}

void SystemInputEventSource::handleRawMotion(const xcb_generic_event_t* event) {
    const auto* raw = reinterpret_cast<const xcb_input_raw_motion_event_t*>(event);
    const uint32_t* mask = xcb_input_raw_button_press_valuator_mask(raw);
    const xcb_input_fp3232_t* values = xcb_input_raw_button_press_axisvalues(raw);
    const int valueCount = xcb_input_raw_button_press_axisvalues_length(raw);
    const QSet<int>& scrollAxes = scrollValuators(raw->sourceid);
    bool scrolled = false;
    bool moved = false;
    int index = 0;
    for (int word = 0; word < raw->valuators_len; ++word) {
        for (int bit = 0; bit < 32; ++bit) {
            if (!(mask[word] & (1u << bit)))
                continue;
            if (index >= valueCount)
                break;
            const bool changed = isNonZero(values[index++]);
            if (scrollAxes.contains(word * 32 + bit))
                scrolled = scrolled || changed;
            else
                moved = moved || changed;
        }
    }
    if (auto e = m_classifier.motion(scrolled, moved))
        dispatch(*e);
}

const QSet<int>& SystemInputEventSource::scrollValuators(uint16_t device) {
    auto it = m_scrollValuators.find(device);
    if (it != m_scrollValuators.end())
        return *it;
    QSet<int> axes;
    auto reply = checkedReply(xcb_input_xi_query_device_reply, m_connection,
                              xcb_input_xi_query_device(m_connection, device));
    if (reply) {
        for (auto infos = xcb_input_xi_query_device_infos_iterator(reply.get()); infos.rem;
             xcb_input_xi_device_info_next(&infos)) {
            for (auto classes = xcb_input_xi_device_info_classes_iterator(infos.data); classes.rem;
                 xcb_input_device_class_next(&classes)) {
                if (classes.data->type == XCB_INPUT_DEVICE_CLASS_TYPE_SCROLL)
                    axes.insert(reinterpret_cast<const xcb_input_scroll_class_t*>(classes.data)->number);
            }
        }
    }
    return *m_scrollValuators.insert(device, axes);
}

void SystemInputEventSource::dispatch(const InputEvent& event) {
    // A listener may add or remove listeners (itself included) while we deliver.
    std::vector<ListenerId> ids;
    ids.reserve(m_listeners.size());
    for (const auto& [id, listener] : m_listeners)
        ids.push_back(id);
    for (ListenerId id : ids) {
        auto it = m_listeners.find(id);
        if (it == m_listeners.end())
            continue;
        Listener listener = it->second; // survives its own removal during the call
        listener(event);
    }
}

void SystemInputEventSource::refreshModifierKeycodes() {
    xcb_connection_t* c = m_connection;
    const xcb_setup_t* setup = xcb_get_setup(c);
    const uint8_t first = setup->min_keycode;
    const uint8_t count = uint8_t(setup->max_keycode - setup->min_keycode + 1);
    auto modifiersCookie = xcb_get_modifier_mapping(c);
    auto keysymsCookie = xcb_get_keyboard_mapping(c, first, count);
    auto modifiers = checkedReply(xcb_get_modifier_mapping_reply, c, modifiersCookie);
    auto keysyms = checkedReply(xcb_get_keyboard_mapping_reply, c, keysymsCookie);

    // A key is a modifier when the modifier map lists it or when it carries a modifier keysym (Caps Lock
    // or AltGr need not be in the map to act as one).
    QSet<uint32_t> keycodes;
    if (modifiers) {
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(modifiers.get());
        const int length = xcb_get_modifier_mapping_keycodes_length(modifiers.get());
        for (int i = 0; i < length; ++i)
            if (codes[i] != 0)
                keycodes.insert(codes[i]);
    }
    if (keysyms && keysyms->keysyms_per_keycode > 0) {
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(keysyms.get());
        const int length = xcb_get_keyboard_mapping_keysyms_length(keysyms.get());
        const int perKey = keysyms->keysyms_per_keycode;
        for (int i = 0; i < length; ++i)
            if (isModifierKeysym(syms[i]))
                keycodes.insert(uint32_t(first + i / perKey));
    }
    m_classifier.setModifierKeycodes(std::move(keycodes));
}

} // namespace norvane

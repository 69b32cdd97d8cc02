// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

// Small helpers over the xcb C interface: replies and errors are malloc'ed and owned by the caller.

#include <xcb/xcb.h>

#include <QString>

#include <cstdlib>
#include <memory>

namespace norvane::x11 {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

template <typename T> using XcbPtr = std::unique_ptr<T, FreeDeleter>;

// Reads a checked reply; any X error (a window that vanished, a pixmap that could not be named) and a
// broken connection both give an empty pointer. The error is dropped: to the callers it only means
// "absent".
template <typename Reply, typename Cookie>
XcbPtr<Reply> checkedReply(Reply* (*read)(xcb_connection_t*, Cookie, xcb_generic_error_t**),
                           xcb_connection_t* connection, Cookie cookie) {
    xcb_generic_error_t* error = nullptr;
    Reply* reply = read(connection, cookie, &error);
    std::free(error);
    return XcbPtr<Reply>(reply);
}

// True when the checked void request succeeded.
inline bool requestSucceeded(xcb_connection_t* connection, xcb_void_cookie_t cookie) {
    xcb_generic_error_t* error = xcb_request_check(connection, cookie);
    if (!error)
        return true;
    std::free(error);
    return false;
}

// The text of an 8-bit string property: UTF8_STRING as UTF-8, STRING as Latin-1, anything else as UTF-8
// (what clients put there in practice). Trailing NULs are dropped.
inline QString propertyText(const xcb_get_property_reply_t* reply, xcb_atom_t utf8String) {
    if (!reply || reply->format != 8 || reply->type == XCB_ATOM_NONE)
        return {};
    const char* data = static_cast<const char*>(xcb_get_property_value(reply));
    int length = xcb_get_property_value_length(reply);
    while (length > 0 && data[length - 1] == '\0')
        --length;
    if (reply->type == XCB_ATOM_STRING)
        return QString::fromLatin1(data, length);
    if (reply->type == utf8String)
        return QString::fromUtf8(data, length);
    return QString::fromUtf8(data, length);
}

// The 32-bit values of a property (WINDOW, ATOM, CARDINAL lists).
inline const uint32_t* propertyWords(const xcb_get_property_reply_t* reply, int* count) {
    *count = 0;
    if (!reply || reply->format != 32)
        return nullptr;
    *count = xcb_get_property_value_length(reply) / 4;
    return static_cast<const uint32_t*>(xcb_get_property_value(reply));
}

} // namespace norvane::x11

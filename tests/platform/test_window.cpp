// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// A small X client for the platform and end-to-end tests: one top-level window with a title, a WM_CLASS,
// this process as _NET_WM_PID and known pixels. It prints "WINDOW <id>" once the window is mapped and
// painted, then serves its events until killed. The tests set rarer properties themselves.
//
//   --title TEXT  --class NAME  --size WxH  --pos X,Y (a hint to the window manager)
//   --paint RRGGBB      a solid colour
//   --paint quadrants   red, green, blue and white quarters
//   --paint typing-pad  every key typed into it drawn as a coloured cell, so the picture changes with each
//                       keystroke and with nothing else, followed by "KEYS <n>" once drawn
//
// The end-to-end tests work in its typing pad.

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

xcb_connection_t* c = nullptr;
xcb_window_t window = 0;
xcb_gcontext_t gc = 0;

xcb_atom_t atom(const char* name) {
    auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t a = reply->atom;
    free(reply);
    return a;
}

void setProperty(xcb_atom_t property, xcb_atom_t type, uint8_t format, size_t length, const void* data) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, property, type, format, uint32_t(length), data);
}

void fill(uint32_t colour, int x, int y, int width, int height) {
    xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &colour);
    const xcb_rectangle_t rect = {int16_t(x), int16_t(y), uint16_t(width), uint16_t(height)};
    xcb_poly_fill_rectangle(c, window, gc, 1, &rect);
}

// A round trip, so the drawing is done before anyone is told.
void roundTrip() {
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

// Typing pad cells: a colour per key code, bright enough to tell apart after JPEG compression.
constexpr int kCell = 24, kGap = 4;
uint32_t colourFor(uint8_t keycode, size_t position) {
    const uint32_t seed = uint32_t(keycode) * 2654435761u + uint32_t(position) * 40503u;
    return ((64 + (seed >> 8) % 192) << 16) | ((64 + (seed >> 16) % 192) << 8) | (64 + (seed >> 24) % 192);
}

} // namespace

int main(int argc, char** argv) {
    const auto option = [&](const std::string& name, const char* fallback) {
        for (int i = 1; i + 1 < argc; i += 2)
            if (argv[i] == name)
                return std::string(argv[i + 1]);
        return std::string(fallback);
    };
    int width = 0, height = 0, x = 0, y = 0;
    sscanf(option("--size", "200x150").c_str(), "%dx%d", &width, &height);
    sscanf(option("--pos", "50,50").c_str(), "%d,%d", &x, &y);
    const std::string title = option("--title", "Test Window"), paint = option("--paint", "ff0000");
    const bool quadrants = paint == "quadrants", pad = paint == "typing-pad";
    const uint32_t colour = quadrants ? 0 : pad ? 0xf4f4f0 : uint32_t(std::stoul(paint, nullptr, 16));

    c = xcb_connect(nullptr, nullptr);
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    window = xcb_generate_id(c);
    const uint32_t events = XCB_EVENT_MASK_EXPOSURE | (pad ? XCB_EVENT_MASK_KEY_PRESS : 0);
    const uint32_t values[] = {colour, events};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, int16_t(x), int16_t(y), uint16_t(width),
                      uint16_t(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);

    setProperty(atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8, title.size(), title.data());
    setProperty(XCB_ATOM_WM_NAME, atom("UTF8_STRING"), 8, title.size(), title.data());
    const std::string wmClass = std::string("norvane-test") + '\0' + option("--class", "NorvaneTest") + '\0';
    setProperty(XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, wmClass.size(), wmClass.data());
    const uint32_t pid = uint32_t(getpid());
    setProperty(atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    // Takes the keyboard focus when offered; program-specified position and size.
    const uint32_t wmHints[9] = {1, 1};
    setProperty(XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9, wmHints);
    const uint32_t sizeHints[18] = {(1 << 2) | (1 << 3), uint32_t(x), uint32_t(y), uint32_t(width),
                                    uint32_t(height)};
    setProperty(XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18, sizeHints);

    gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, window, 0, nullptr);
    std::vector<uint8_t> keys;
    // Typed keys fill the window row by row, then start again at the top, over the old cells.
    const auto drawCell = [&](size_t i) {
        const int perRow = std::max(1, (width - kGap) / (kCell + kGap));
        const size_t slot = i % size_t(perRow * std::max(1, (height - kGap) / (kCell + kGap)));
        fill(colourFor(keys[i], i), kGap + int(slot % perRow) * (kCell + kGap),
             kGap + int(slot / perRow) * (kCell + kGap), kCell, kCell);
    };

    xcb_map_window(c, window);
    xcb_flush(c);
    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        const uint8_t kind = event->response_type & 0x7f;
        if (kind == XCB_EXPOSE && reinterpret_cast<xcb_expose_event_t*>(event)->count == 0) {
            const int w = width / 2, h = height / 2;
            if (quadrants) {
                fill(0xff0000, 0, 0, w, h);
                fill(0x00ff00, w, 0, width - w, h);
                fill(0x0000ff, 0, h, w, height - h);
                fill(0xffffff, w, h, width - w, height - h);
            }
            for (size_t i = 0; i < keys.size(); ++i)
                drawCell(i);
            roundTrip();
            printf("WINDOW %u\n", window);
        } else if (kind == XCB_KEY_PRESS) {
            keys.push_back(reinterpret_cast<xcb_key_press_event_t*>(event)->detail);
            drawCell(keys.size() - 1);
            roundTrip();
            printf("KEYS %zu\n", keys.size());
        }
        fflush(stdout);
        free(event);
    }
    return 0;
}

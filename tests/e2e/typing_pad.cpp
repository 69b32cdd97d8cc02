// The application the end-to-end tests "work in": one top-level window that shows every key typed into
// it as a coloured cell, so its picture changes with each keystroke and stays the same otherwise (a
// text editor's blinking cursor would make every frame differ). It prints "WINDOW <id>" once the
// window is mapped and painted, then "KEYS <n>" after each key press has been drawn. While it does not
// have the keyboard focus it shows a red band along its bottom edge, so a picture of it tells whether
// it was taken before or after the user moved to another window.
//
//   --title TEXT    _NET_WM_NAME and WM_NAME (default "Typing Pad")
//   --size WxH      (default 800x500)   --pos X,Y (default 60,60)

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return a;
}

constexpr int kCell = 24;
constexpr int kGap = 4;
constexpr int kBand = 16; // the unfocused marker; no key cell reaches into it

// A colour per key code, bright enough to tell apart after JPEG compression.
uint32_t colourFor(uint8_t keycode, size_t position) {
    const uint32_t seed = uint32_t(keycode) * 2654435761u + uint32_t(position) * 40503u;
    const uint32_t r = 64 + (seed >> 8) % 192, g = 64 + (seed >> 16) % 192, b = 64 + (seed >> 24) % 192;
    return (r << 16) | (g << 8) | b;
}

} // namespace

int main(int argc, char** argv) {
    std::string title = "Typing Pad";
    int width = 800, height = 500, x = 60, y = 60;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (arg == "--title")
            title = next();
        else if (arg == "--size")
            sscanf(next().c_str(), "%dx%d", &width, &height);
        else if (arg == "--pos")
            sscanf(next().c_str(), "%d,%d", &x, &y);
        else {
            fprintf(stderr, "typing_pad: unknown option %s\n", arg.c_str());
            return 2;
        }
    }

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t values[] = {0xf4f4f0, XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY |
                                             XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_FOCUS_CHANGE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, int16_t(x), int16_t(y), uint16_t(width),
                      uint16_t(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);

    const xcb_atom_t utf8 = atom(c, "UTF8_STRING");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_NAME"), utf8, 8,
                        uint32_t(title.size()), title.data());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, utf8, 8, uint32_t(title.size()),
                        title.data());
    const std::string wmClass = std::string("typing-pad") + '\0' + "TypingPad" + '\0';
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        uint32_t(wmClass.size()), wmClass.data());
    const uint32_t pid = uint32_t(getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1,
                        &pid);
    // Takes keyboard focus when the window manager offers it.
    const uint32_t wmHints[9] = {1, 1, 0, 0, 0, 0, 0, 0, 0};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9,
                        wmHints);
    uint32_t sizeHints[18] = {};
    sizeHints[0] = (1 << 2) | (1 << 3); // program-specified position and size
    sizeHints[1] = uint32_t(x);
    sizeHints[2] = uint32_t(y);
    sizeHints[3] = uint32_t(width);
    sizeHints[4] = uint32_t(height);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS,
                        32, 18, sizeHints);

    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, window, 0, nullptr);
    std::vector<uint8_t> keys;

    auto drawCell = [&](size_t index) {
        const int perRow = std::max(1, (width - kGap) / (kCell + kGap));
        const int column = int(index % size_t(perRow)), row = int(index / size_t(perRow));
        const uint32_t colour = colourFor(keys[index], index);
        xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &colour);
        const xcb_rectangle_t cell = {int16_t(kGap + column * (kCell + kGap)),
                                      int16_t(kGap + row * (kCell + kGap)), uint16_t(kCell), uint16_t(kCell)};
        xcb_poly_fill_rectangle(c, window, gc, 1, &cell);
    };
    bool focused = false;
    auto drawFocusBand = [&] {
        const uint32_t colour = focused ? 0xf4f4f0 : 0xd01010;
        xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &colour);
        const xcb_rectangle_t band = {0, int16_t(height - kBand), uint16_t(width), uint16_t(kBand)};
        xcb_poly_fill_rectangle(c, window, gc, 1, &band);
    };
    // A round trip, so the drawing is done before anyone is told.
    auto sync = [&] { free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); };

    xcb_map_window(c, window);
    xcb_flush(c);
    bool announced = false;
    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        const uint8_t kind = event->response_type & 0x7f;
        if (kind == XCB_CONFIGURE_NOTIFY) {
            const auto* configure = reinterpret_cast<xcb_configure_notify_event_t*>(event);
            if (configure->window == window) {
                width = configure->width;
                height = configure->height;
            }
        } else if (kind == XCB_EXPOSE) {
            const auto* expose = reinterpret_cast<xcb_expose_event_t*>(event);
            if (expose->count == 0) {
                for (size_t i = 0; i < keys.size(); ++i)
                    drawCell(i);
                drawFocusBand();
                sync();
                if (!announced) {
                    announced = true;
                    printf("WINDOW %u\n", window);
                    fflush(stdout);
                }
            }
        } else if (kind == XCB_FOCUS_IN || kind == XCB_FOCUS_OUT) {
            // Only real focus moves; the window manager's grabs come and go with every click.
            const auto* change = reinterpret_cast<xcb_focus_in_event_t*>(event);
            const bool real =
                change->mode == XCB_NOTIFY_MODE_NORMAL || change->mode == XCB_NOTIFY_MODE_WHILE_GRABBED;
            if (real && change->detail != XCB_NOTIFY_DETAIL_POINTER) {
                focused = kind == XCB_FOCUS_IN;
                drawFocusBand();
                sync();
                printf("FOCUS %s\n", focused ? "in" : "out");
                fflush(stdout);
            }
        } else if (kind == XCB_KEY_PRESS) {
            const auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
            // When the window is full, start again from a clean page.
            const int perRow = std::max(1, (width - kGap) / (kCell + kGap));
            const int rows = std::max(1, (height - kBand - kGap) / (kCell + kGap));
            if (keys.size() >= size_t(perRow * rows)) {
                keys.clear();
                xcb_clear_area(c, 0, window, 0, 0, 0, 0);
                drawFocusBand();
            }
            keys.push_back(press->detail);
            drawCell(keys.size() - 1);
            sync();
            printf("KEYS %zu\n", keys.size());
            fflush(stdout);
        }
        free(event);
    }
    return 0;
}

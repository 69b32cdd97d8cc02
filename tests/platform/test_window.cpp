// A small X client for the platform and end-to-end tests: one top-level window with a title, a WM_CLASS,
// this process as _NET_WM_PID and known pixels. It prints "WINDOW <id>" once the window is mapped and
// painted, then serves its events until killed. The tests set rarer properties themselves.
//
//   --title TEXT  --class NAME  --size WxH  --pos X,Y (a hint to the window manager)
//   --paint RRGGBB      a solid colour
//   --paint quadrants   red, green, blue and white quarters
//   --paint AARRGGBB    (eight digits) a depth-32 window of that straight colour, stored premultiplied
//   --paint typing-pad  every key typed into it drawn as a coloured cell, so the picture changes with each
//                       keystroke and with nothing else, followed by "KEYS <n>" once drawn; while it does
//                       not have the focus a red band runs along its bottom edge
//
// Built with NORVANE_TYPING_PAD_MODE (the norvane_typing_pad target) it is the application the end-to-end
// tests work in: a typing pad titled "Typing Pad", class TypingPad, 800x500 at 60,60.

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

xcb_connection_t* c = nullptr;
xcb_window_t window = 0;
xcb_gcontext_t gc = 0;

xcb_atom_t atom(const char* name) {
    auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
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

uint32_t premultiplied(uint32_t argb) {
    uint32_t out = argb & 0xff000000u;
    for (int shift = 0; shift < 24; shift += 8)
        out |= ((((argb >> shift) & 0xff) * (argb >> 24) + 127) / 255) << shift;
    return out;
}

xcb_visualid_t argbVisual(xcb_screen_t* screen) {
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem; xcb_depth_next(&depths))
        for (auto v = xcb_depth_visuals_iterator(depths.data); depths.data->depth == 32 && v.rem;
             xcb_visualtype_next(&v))
            if (v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR)
                return v.data->visual_id;
    return 0;
}

// Typing pad cells: a colour per key code, bright enough to tell apart after JPEG compression.
constexpr int kCell = 24, kGap = 4, kBand = 16; // no cell reaches into the band
uint32_t colourFor(uint8_t keycode, size_t position) {
    const uint32_t seed = uint32_t(keycode) * 2654435761u + uint32_t(position) * 40503u;
    return ((64 + (seed >> 8) % 192) << 16) | ((64 + (seed >> 16) % 192) << 8) | (64 + (seed >> 24) % 192);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
#ifdef NORVANE_TYPING_PAD_MODE
    args.insert(args.begin(), {"--title", "Typing Pad", "--class", "TypingPad", "--size", "800x500", "--pos",
                               "60,60", "--paint", "typing-pad"});
#endif
    std::map<std::string, std::string> option = {{"--title", "Test Window"},
                                                 {"--class", "NorvaneTest"},
                                                 {"--size", "200x150"},
                                                 {"--pos", "50,50"},
                                                 {"--paint", "ff0000"}};
    for (size_t i = 0; i < args.size(); i += 2) {
        if (!option.count(args[i]) || i + 1 == args.size()) {
            fprintf(stderr, "test_window: unknown option or no value: %s\n", args[i].c_str());
            return 2;
        }
        option[args[i]] = args[i + 1];
    }
    int width = 0, height = 0, x = 0, y = 0;
    sscanf(option["--size"].c_str(), "%dx%d", &width, &height);
    sscanf(option["--pos"].c_str(), "%d,%d", &x, &y);
    const std::string &title = option["--title"], &paint = option["--paint"];
    const bool quadrants = paint == "quadrants", pad = paint == "typing-pad", argb = paint.size() == 8;
    const uint32_t colour = quadrants ? 0 : pad ? 0xf4f4f0 : uint32_t(std::stoul(paint, nullptr, 16));

    c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    window = xcb_generate_id(c);
    const uint32_t events = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY |
                            (pad ? XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_FOCUS_CHANGE : 0);
    const xcb_visualid_t visual = argb ? argbVisual(screen) : screen->root_visual;
    const uint32_t values[] = {argb ? premultiplied(colour) : colour, 0, events, xcb_generate_id(c)};
    if (argb)
        xcb_create_colormap(c, XCB_COLORMAP_ALLOC_NONE, values[3], screen->root, visual);
    xcb_create_window(
        c, argb ? 32 : XCB_COPY_FROM_PARENT, window, screen->root, int16_t(x), int16_t(y), uint16_t(width),
        uint16_t(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, visual,
        XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_EVENT_MASK | (argb ? XCB_CW_COLORMAP : 0), values);

    setProperty(atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8, title.size(), title.data());
    setProperty(XCB_ATOM_WM_NAME, atom("UTF8_STRING"), 8, title.size(), title.data());
    const std::string wmClass = std::string("norvane-test") + '\0' + option["--class"] + '\0';
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
    bool focused = false;
    // Typed keys fill the window row by row, then start again at the top, over the old cells.
    const auto drawCell = [&](size_t i) {
        const int perRow = std::max(1, (width - kGap) / (kCell + kGap));
        const size_t slot = i % size_t(perRow * std::max(1, (height - kBand - kGap) / (kCell + kGap)));
        fill(colourFor(keys[i], i), kGap + int(slot % perRow) * (kCell + kGap),
             kGap + int(slot / perRow) * (kCell + kGap), kCell, kCell);
    };
    const auto drawBand = [&] { fill(focused ? colour : 0xd01010, 0, height - kBand, width, kBand); };

    xcb_map_window(c, window);
    xcb_flush(c);
    bool announced = false;
    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        const uint8_t kind = event->response_type & 0x7f;
        const auto* configure = reinterpret_cast<xcb_configure_notify_event_t*>(event);
        const auto* focus = reinterpret_cast<xcb_focus_in_event_t*>(event);
        if (kind == XCB_CONFIGURE_NOTIFY && configure->window == window) {
            // The window manager may impose another size; the picture follows it (a resize exposes).
            width = configure->width;
            height = configure->height;
        } else if (kind == XCB_EXPOSE && reinterpret_cast<xcb_expose_event_t*>(event)->count == 0) {
            const int w = width / 2, h = height / 2;
            if (quadrants) {
                fill(0xff0000, 0, 0, w, h);
                fill(0x00ff00, w, 0, width - w, h);
                fill(0x0000ff, 0, h, w, height - h);
                fill(0xffffff, w, h, width - w, height - h);
            }
            for (size_t i = 0; i < keys.size(); ++i)
                drawCell(i);
            if (pad)
                drawBand();
            roundTrip();
            if (!announced)
                printf("WINDOW %u\n", window);
            announced = true;
        } else if ((kind == XCB_FOCUS_IN || kind == XCB_FOCUS_OUT) &&
                   focus->detail != XCB_NOTIFY_DETAIL_POINTER &&
                   (focus->mode == XCB_NOTIFY_MODE_NORMAL || focus->mode == XCB_NOTIFY_MODE_WHILE_GRABBED)) {
            // Only real focus moves; the window manager's grabs come and go with every click.
            focused = kind == XCB_FOCUS_IN;
            drawBand();
            roundTrip();
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

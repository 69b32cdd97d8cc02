// A small X client for the platform tests: one top-level window with known properties and known pixels.
// It prints "WINDOW <id>" once the window is mapped and painted, then serves Expose events until killed.
//
//   --title TEXT          _NET_WM_NAME (UTF-8) and WM_NAME
//   --wm-name-only TEXT   only WM_NAME, as Latin-1 STRING (TEXT is given in UTF-8)
//   --class NAME          WM_CLASS class part (instance "norvane-test"); --no-class leaves it unset
//   --pid N | --no-pid    _NET_WM_PID (default: this process)
//   --type A[,B...]       _NET_WM_WINDOW_TYPE: _NET_WM_WINDOW_TYPE_<A>, ... in that order
//   --transient-for ID    WM_TRANSIENT_FOR
//   --size WxH --pos X,Y  geometry (position as a hint to the window manager)
//   --color RRGGBB        solid colour; --quadrants paints red, green, blue, white quarters
//   --argb AARRGGBB       a depth-32 window filled with that (straight) colour, stored premultiplied

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, strlen(name), name), nullptr);
    xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return a;
}

xcb_visualtype_t* findArgbVisual(xcb_screen_t* screen) {
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem; xcb_depth_next(&depths)) {
        if (depths.data->depth != 32)
            continue;
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
             xcb_visualtype_next(&visuals))
            if (visuals.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR)
                return visuals.data;
    }
    return nullptr;
}

// Code points below 256 only, which is all a STRING property can hold.
std::string latin1FromUtf8(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += char(c);
        } else if ((c & 0xe0) == 0xc0 && i + 1 < text.size()) {
            out += char(((c & 0x1f) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3f));
            ++i;
        }
    }
    return out;
}

uint32_t premultiplied(uint32_t argb) {
    const uint32_t a = argb >> 24;
    auto channel = [a](uint32_t v) { return (v * a + 127) / 255; };
    return (a << 24) | (channel((argb >> 16) & 0xff) << 16) | (channel((argb >> 8) & 0xff) << 8) |
           channel(argb & 0xff);
}

} // namespace

int main(int argc, char** argv) {
    std::string title = "Test Window";
    std::string wmNameOnly;
    bool hasWmNameOnly = false;
    std::string className = "NorvaneTest";
    bool setClass = true;
    long pid = long(getpid());
    bool setPid = true;
    std::string type;
    uint32_t transientFor = 0;
    int width = 200, height = 150, x = 50, y = 50;
    uint32_t color = 0xff0000;
    bool quadrants = false;
    bool argb = false;
    uint32_t argbColor = 0;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (arg == "--title")
            title = next();
        else if (arg == "--wm-name-only") {
            wmNameOnly = latin1FromUtf8(next());
            hasWmNameOnly = true;
        } else if (arg == "--class")
            className = next();
        else if (arg == "--no-class")
            setClass = false;
        else if (arg == "--pid")
            pid = std::stol(next());
        else if (arg == "--no-pid")
            setPid = false;
        else if (arg == "--type")
            type = next();
        else if (arg == "--transient-for")
            transientFor = uint32_t(std::stoul(next(), nullptr, 0));
        else if (arg == "--size")
            sscanf(next().c_str(), "%dx%d", &width, &height);
        else if (arg == "--pos")
            sscanf(next().c_str(), "%d,%d", &x, &y);
        else if (arg == "--color")
            color = uint32_t(std::stoul(next(), nullptr, 16));
        else if (arg == "--quadrants")
            quadrants = true;
        else if (arg == "--argb") {
            argb = true;
            argbColor = uint32_t(std::stoul(next(), nullptr, 16));
        } else {
            fprintf(stderr, "test_window: unknown option %s\n", arg.c_str());
            return 2;
        }
    }

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);

    uint8_t depth = XCB_COPY_FROM_PARENT;
    xcb_visualid_t visual = screen->root_visual;
    std::vector<uint32_t> values;
    uint32_t mask = XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_EVENT_MASK;
    const uint32_t events = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    if (argb) {
        xcb_visualtype_t* type32 = findArgbVisual(screen);
        if (!type32)
            return 3;
        depth = 32;
        visual = type32->visual_id;
        const xcb_colormap_t colormap = xcb_generate_id(c);
        xcb_create_colormap(c, XCB_COLORMAP_ALLOC_NONE, colormap, screen->root, visual);
        mask |= XCB_CW_COLORMAP;
        values = {premultiplied(argbColor), 0, events, colormap};
    } else {
        values = {quadrants ? 0u : color, 0, events};
    }
    xcb_create_window(c, depth, window, screen->root, int16_t(x), int16_t(y), uint16_t(width),
                      uint16_t(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, visual, mask, values.data());

    const xcb_atom_t utf8 = atom(c, "UTF8_STRING");
    if (hasWmNameOnly) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            wmNameOnly.size(), wmNameOnly.data());
    } else {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_NAME"), utf8, 8, title.size(),
                            title.data());
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, utf8, 8, title.size(),
                            title.data());
    }
    if (setClass) {
        const std::string wmClass = std::string("norvane-test") + '\0' + className + '\0';
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            wmClass.size(), wmClass.data());
    }
    if (setPid) {
        const uint32_t value = uint32_t(pid);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32,
                            1, &value);
    }
    if (!type.empty()) {
        std::vector<xcb_atom_t> types;
        size_t start = 0;
        while (start <= type.size()) {
            const size_t comma = type.find(',', start);
            const std::string name =
                type.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            types.push_back(atom(c, ("_NET_WM_WINDOW_TYPE_" + name).c_str()));
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM,
                            32, uint32_t(types.size()), types.data());
    }
    if (transientFor) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 32,
                            1, &transientFor);
    }
    // Ask the window manager to honour the requested position (program-specified position and size).
    uint32_t hints[18] = {};
    hints[0] = (1 << 2) | (1 << 3);
    hints[1] = uint32_t(x);
    hints[2] = uint32_t(y);
    hints[3] = uint32_t(width);
    hints[4] = uint32_t(height);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS,
                        32, 18, hints);

    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, window, 0, nullptr);
    auto paint = [&] {
        if (!quadrants)
            return; // the background pixel is the picture
        const uint32_t colours[4] = {0xff0000, 0x00ff00, 0x0000ff, 0xffffff};
        const int halfW = width / 2, halfH = height / 2;
        const xcb_rectangle_t rects[4] = {
            {0, 0, uint16_t(halfW), uint16_t(halfH)},
            {int16_t(halfW), 0, uint16_t(width - halfW), uint16_t(halfH)},
            {0, int16_t(halfH), uint16_t(halfW), uint16_t(height - halfH)},
            {int16_t(halfW), int16_t(halfH), uint16_t(width - halfW), uint16_t(height - halfH)}};
        for (int i = 0; i < 4; ++i) {
            xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &colours[i]);
            xcb_poly_fill_rectangle(c, window, gc, 1, &rects[i]);
        }
    };

    xcb_map_window(c, window);
    xcb_flush(c);
    bool announced = false;
    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        const uint8_t kind = event->response_type & 0x7f;
        if (kind == XCB_CONFIGURE_NOTIFY) {
            // The window manager may impose another size; the quarters follow it.
            const auto* configure = reinterpret_cast<xcb_configure_notify_event_t*>(event);
            if (configure->window == window && (configure->width != width || configure->height != height)) {
                width = configure->width;
                height = configure->height;
                paint();
                xcb_flush(c);
            }
        }
        if (kind == XCB_EXPOSE) {
            paint();
            // A round trip makes sure the paint is done before anyone looks.
            free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
            if (!announced) {
                announced = true;
                printf("WINDOW %u\n", window);
                fflush(stdout);
            }
        }
        free(event);
    }
    return 0;
}

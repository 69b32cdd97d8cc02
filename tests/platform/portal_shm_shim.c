// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// Preloaded into xdg-desktop-portal-wlr only. Its Start fails unless the compositor offers a DMA-BUF
// copy ("unable to receive a valid format from wlr_screencopy"), which a GPU-less headless Sway (pixman
// renderer) never does, although its shared-memory path works. This tells the backend that the
// shared-memory format is offered as DMA-BUF too; without a GPU it cannot build a DMA-BUF format for
// PipeWire, so the stream still offers shared memory only, as on a real desktop without one.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <string.h>
#include <wayland-client-core.h>

struct frame_listener {
    void (*buffer)(void*, struct wl_proxy*, uint32_t, uint32_t, uint32_t, uint32_t);
    void (*flags)(void*, struct wl_proxy*, uint32_t);
    void (*ready)(void*, struct wl_proxy*, uint32_t, uint32_t, uint32_t);
    void (*failed)(void*, struct wl_proxy*);
    void (*damage)(void*, struct wl_proxy*, uint32_t, uint32_t, uint32_t, uint32_t);
    void (*linux_dmabuf)(void*, struct wl_proxy*, uint32_t, uint32_t, uint32_t);
    void (*buffer_done)(void*, struct wl_proxy*);
};

static const struct frame_listener* wrapped;
static struct frame_listener shim;
static uint32_t shm_fourcc, shm_width, shm_height;

static void buffer(void* data, struct wl_proxy* frame, uint32_t format, uint32_t width, uint32_t height,
                   uint32_t stride) {
    // wl_shm names its two basic formats 0 and 1; DRM uses fourcc codes for them.
    shm_fourcc = format == 0 ? 0x34325241u : format == 1 ? 0x34325258u : format;
    shm_width = width;
    shm_height = height;
    wrapped->buffer(data, frame, format, width, height, stride);
}

static void buffer_done(void* data, struct wl_proxy* frame) {
    wrapped->linux_dmabuf(data, frame, shm_fourcc, shm_width, shm_height);
    wrapped->buffer_done(data, frame);
}

int wl_proxy_add_listener(struct wl_proxy* proxy, void (**implementation)(void), void* data) {
    int (*next)(struct wl_proxy*, void (**)(void), void*);
    void* found = dlsym(RTLD_NEXT, "wl_proxy_add_listener");
    memcpy(&next, &found, sizeof next); // dlsym gives functions as object pointers
    if (strcmp(wl_proxy_get_class(proxy), "zwlr_screencopy_frame_v1") == 0) {
        wrapped = (const struct frame_listener*)implementation;
        shim = *wrapped;
        shim.buffer = buffer;
        shim.buffer_done = buffer_done;
        implementation = (void (**)(void)) & shim;
    }
    return next(proxy, implementation, data);
}

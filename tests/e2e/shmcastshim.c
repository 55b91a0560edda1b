// Preloaded into xdg-desktop-portal-wlr, which casts only once wlr-screencopy has named a DMA-BUF
// format: a compositor without a GPU never does. Naming the shared-memory format as that one too,
// the portal, finding no GPU to allocate DMA-BUFs, casts through shared memory.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <string.h>
#include <wayland-client-core.h>

struct frame_listener {
    void (*buffer)(void*, struct wl_proxy*, uint32_t format, uint32_t width, uint32_t height,
                   uint32_t stride);
    void (*flags)(void*, struct wl_proxy*, uint32_t);
    void (*ready)(void*, struct wl_proxy*, uint32_t, uint32_t, uint32_t);
    void (*failed)(void*, struct wl_proxy*);
    void (*damage)(void*, struct wl_proxy*, uint32_t, uint32_t, uint32_t, uint32_t);
    void (*linux_dmabuf)(void*, struct wl_proxy*, uint32_t format, uint32_t width, uint32_t height);
    void (*buffer_done)(void*, struct wl_proxy*);
};

static struct frame_listener original, wrapped;

static void buffer(void* data, struct wl_proxy* frame, uint32_t format, uint32_t width,
                   uint32_t height, uint32_t stride) {
    original.buffer(data, frame, format, width, height, stride);
    // wl_shm names its two basic formats 0 and 1; DRM by their four letters.
    const uint32_t drm = format == 0   ? 0x34325241u /* AR24 */
                         : format == 1 ? 0x34325258u /* XR24 */
                                       : format;
    if (original.linux_dmabuf)
        original.linux_dmabuf(data, frame, drm, width, height);
}

int wl_proxy_add_listener(struct wl_proxy* proxy, void (**implementation)(void), void* data) {
    static int (*real)(struct wl_proxy*, void (**)(void), void*);
    if (!real)
        *(void**)&real = dlsym(RTLD_NEXT, "wl_proxy_add_listener");
    if (strcmp(wl_proxy_get_class(proxy), "zwlr_screencopy_frame_v1") == 0 &&
        wl_proxy_get_version(proxy) >= 3) {
        memcpy(&original, implementation, sizeof original);
        wrapped = original;
        wrapped.buffer = buffer;
        implementation = (void (**)(void)) & wrapped;
    }
    return real(proxy, implementation, data);
}

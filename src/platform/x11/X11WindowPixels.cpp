// One PutImage request a frame, no reply and no event: nothing wakes the program's other threads.
#include "platform/x11/X11WindowPixels.h"

#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11Xcb.h"

#include <QGuiApplication>
#include <QImage>
#include <QWindow>

#include <xcb/xcb.h>

namespace {

// Whether the server keeps a pixel of `depth` as 32 bits with rows padded to 32 bits, the layout of a
// premultiplied ARGB32 image on a little-endian client, and reads them least significant byte first.
bool sameLayout(xcb_connection_t* c, uint8_t depth) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST || QSysInfo::ByteOrder != QSysInfo::LittleEndian)
        return false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
        if (it.data->depth == depth)
            return it.data->bits_per_pixel == 32 && it.data->scanline_pad == 32;
    return false;
}

} // namespace

X11WindowPixels::~X11WindowPixels() {
    xcb_connection_t* c = X11Desktop::connection();
    if (!c)
        return;
    for (const Target& t : std::as_const(m_targets))
        if (t.gc)
            xcb_free_gc(c, t.gc);
    xcb_flush(c);
}

const X11WindowPixels::Target* X11WindowPixels::targetFor(uint32_t window) {
    const auto known = m_targets.constFind(window);
    if (known != m_targets.constEnd())
        return &*known;
    // Learnt once a window: its depth (one round trip) and a context that asks for no exposure events.
    Target t;
    xcb_connection_t* c = X11Desktop::connection();
    X11Xcb::XPtr<xcb_get_geometry_reply_t> geometry(
        c ? xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr) : nullptr);
    if (geometry && (geometry->depth == 24 || geometry->depth == 32) && sameLayout(c, geometry->depth)) {
        t.depth = geometry->depth;
        t.gc = xcb_generate_id(c);
        const uint32_t values[] = {0};
        xcb_create_gc(c, t.gc, window, XCB_GC_GRAPHICS_EXPOSURES, values);
        t.usable = true;
    }
    return &*m_targets.insert(window, t);
}

bool X11WindowPixels::put(QWindow* window, QPoint at, const QImage& pixels) {
    xcb_connection_t* c = X11Desktop::connection();
    if (!c || !window || !window->isExposed() || !window->handle() || pixels.isNull() ||
        pixels.format() != QImage::Format_ARGB32_Premultiplied || pixels.sizeInBytes() > kMaxBytes)
        return false;
    const Target* t = targetFor(uint32_t(window->winId()));
    if (!t->usable)
        return false;
    // Rows go as they are: a 32-bit pixel row is always padded to 32 bits.
    xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, xcb_drawable_t(window->winId()), t->gc,
                  uint16_t(pixels.width()), uint16_t(pixels.height()), int16_t(at.x()), int16_t(at.y()), 0,
                  t->depth, uint32_t(pixels.sizeInBytes()), pixels.constBits());
    xcb_flush(c);
    return true;
}

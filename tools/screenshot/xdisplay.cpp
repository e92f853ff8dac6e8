#include "xdisplay.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace {

// Replies are malloc'd by xcb and released with free().
template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T> Reply<T> reply(T *raw)
{
    return Reply<T>(raw, &std::free);
}

constexpr int MaxSearchDepth = 4;
constexpr quint32 MaxTitleLength = 1024;

int maskShift(quint32 mask)
{
    int shift = 0;
    while (mask != 0 && (mask & 1u) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

int channel(quint32 pixel, quint32 mask)
{
    if (mask == 0)
        return 0;
    const quint32 maxValue = mask >> maskShift(mask);
    return int(((pixel & mask) >> maskShift(mask)) * 255u / maxValue);
}

} // namespace

XDisplay::~XDisplay()
{
    if (connection)
        xcb_disconnect(connection);
}

bool XDisplay::open(QString *error)
{
    int screenNumber = 0;
    connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        *error =
            QStringLiteral("cannot connect to the X display \"%1\"").arg(qEnvironmentVariable("DISPLAY"));
        xcb_disconnect(connection);
        connection = nullptr;
        return false;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; it.rem > 0 && i < screenNumber; ++i)
        xcb_screen_next(&it);
    screen = it.data;
    netWmName = atom("_NET_WM_NAME");
    utf8String = atom("UTF8_STRING");
    return true;
}

quint32 XDisplay::atom(const char *name) const
{
    const auto cookie = xcb_intern_atom(connection, 0, quint16(qstrlen(name)), name);
    const auto r = reply(xcb_intern_atom_reply(connection, cookie, nullptr));
    return r ? r->atom : quint32(XCB_ATOM_NONE);
}

XDisplay::Window XDisplay::root() const
{
    return Window{screen->root, QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels), QString()};
}

QString XDisplay::titleOf(quint32 id) const
{
    // _NET_WM_NAME holds UTF-8; WM_NAME is the older Latin-1 property that every client sets too.
    auto cookie = xcb_get_property(connection, 0, id, netWmName, utf8String, 0, MaxTitleLength / 4);
    auto r = reply(xcb_get_property_reply(connection, cookie, nullptr));
    if (r && xcb_get_property_value_length(r.get()) > 0) {
        return QString::fromUtf8(static_cast<const char *>(xcb_get_property_value(r.get())),
                                 xcb_get_property_value_length(r.get()));
    }
    cookie = xcb_get_property(connection, 0, id, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0,
                              MaxTitleLength / 4);
    r = reply(xcb_get_property_reply(connection, cookie, nullptr));
    if (r && xcb_get_property_value_length(r.get()) > 0) {
        return QString::fromLatin1(static_cast<const char *>(xcb_get_property_value(r.get())),
                                   xcb_get_property_value_length(r.get()));
    }
    return QString();
}

bool XDisplay::isViewable(quint32 id) const
{
    const auto r = reply(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, id), nullptr));
    return r && r->map_state == XCB_MAP_STATE_VIEWABLE;
}

std::optional<XDisplay::Window> XDisplay::refresh(quint32 id) const
{
    const auto geometry =
        reply(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, id), nullptr));
    if (!geometry)
        return std::nullopt;
    const auto origin = reply(xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, id, screen->root, 0, 0), nullptr));
    if (!origin)
        return std::nullopt;
    return Window{id, QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height), titleOf(id)};
}

std::optional<XDisplay::Window> XDisplay::search(quint32 parent, const QString &prefix, int depth) const
{
    const auto tree = reply(xcb_query_tree_reply(connection, xcb_query_tree(connection, parent), nullptr));
    if (!tree)
        return std::nullopt;
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    // Children come bottom to top; the topmost match is the one a user sees.
    for (int i = xcb_query_tree_children_length(tree.get()) - 1; i >= 0; --i) {
        const quint32 child = children[i];
        if (!isViewable(child))
            continue;
        if (titleOf(child).startsWith(prefix))
            return refresh(child);
        if (depth + 1 < MaxSearchDepth) {
            if (auto found = search(child, prefix, depth + 1))
                return found;
        }
    }
    return std::nullopt;
}

std::optional<XDisplay::Window> XDisplay::findByTitle(const QString &prefix) const
{
    return search(screen->root, prefix, 0);
}

void XDisplay::configure(quint32 id, const std::optional<QPoint> &position, const std::optional<QSize> &size)
{
    quint16 mask = 0;
    quint32 values[4] = {};
    int n = 0;
    if (position) {
        mask |= XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y;
        values[n++] = quint32(position->x());
        values[n++] = quint32(position->y());
    }
    if (size) {
        mask |= XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT;
        values[n++] = quint32(size->width());
        values[n++] = quint32(size->height());
    }
    if (mask != 0) {
        xcb_configure_window(connection, id, mask, values);
        xcb_flush(connection);
    }
}

void XDisplay::raise(quint32 id)
{
    const quint32 above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(connection, id, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_flush(connection);
}

QImage XDisplay::grab(const QRect &area, QString *error) const
{
    const std::vector<QImage> images = grabTogether({area}, error);
    return images.empty() ? QImage() : images.front();
}

std::vector<QImage> XDisplay::grabTogether(const std::vector<QRect> &areas, QString *error) const
{
    std::vector<QRect> clipped;
    for (const QRect &area : areas) {
        clipped.push_back(area.intersected(root().geometry));
        if (clipped.back().isEmpty()) {
            *error = QStringLiteral("the area lies outside the screen");
            return {};
        }
    }
    // Between the grab and ungrab of the server no other client draws, so the areas show one instant.
    if (areas.size() > 1)
        xcb_grab_server(connection);
    std::vector<xcb_get_image_cookie_t> cookies;
    for (const QRect &area : clipped)
        cookies.push_back(xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, qint16(area.x()),
                                        qint16(area.y()), quint16(area.width()), quint16(area.height()),
                                        ~0u));
    if (areas.size() > 1)
        xcb_ungrab_server(connection);
    std::vector<QImage> images;
    for (size_t i = 0; i < cookies.size(); ++i) {
        xcb_generic_error_t *failure = nullptr;
        const auto image = reply(xcb_get_image_reply(connection, cookies[i], &failure));
        QImage converted;
        if (!image)
            *error = QStringLiteral("the X server refused the image (error %1)")
                         .arg(failure ? failure->error_code : 0);
        else
            converted = toImage(*image, clipped[i].size(), error);
        std::free(failure);
        if (converted.isNull())
            images.clear();
        else if (images.size() == i)
            images.push_back(converted);
    }
    if (images.size() != cookies.size())
        images.clear();
    return images;
}

QImage XDisplay::toImage(const xcb_get_image_reply_t &image, const QSize &size, QString *error) const
{
    const xcb_setup_t *setup = xcb_get_setup(connection);
    int bitsPerPixel = 0;
    int scanlinePad = 0;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
        if (it.data->depth == image.depth) {
            bitsPerPixel = it.data->bits_per_pixel;
            scanlinePad = it.data->scanline_pad;
        }
    }
    const xcb_visualtype_t *visual = nullptr;
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem > 0 && !visual;
         xcb_depth_next(&depths)) {
        for (auto v = xcb_depth_visuals_iterator(depths.data); v.rem > 0; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == image.visual) {
                visual = v.data;
                break;
            }
        }
    }
    // TrueColor at 24 or 32 bits a pixel is what Xvfb and every current desktop use.
    if (!visual || bitsPerPixel != 32 || scanlinePad == 0) {
        *error = QStringLiteral("unsupported pixel format (depth %1, %2 bits a pixel)")
                     .arg(image.depth)
                     .arg(bitsPerPixel);
        return QImage();
    }

    const uchar *data = xcb_get_image_data(&image);
    const int stride = ((size.width() * bitsPerPixel + scanlinePad - 1) / scanlinePad) * scanlinePad / 8;
    const bool lsbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    QImage result(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        const uchar *line = data + y * stride;
        auto *out = reinterpret_cast<QRgb *>(result.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const uchar *p = line + 4 * x;
            const quint32 pixel =
                lsbFirst ? quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24
                         : quint32(p[3]) | quint32(p[2]) << 8 | quint32(p[1]) << 16 | quint32(p[0]) << 24;
            out[x] = qRgb(channel(pixel, visual->red_mask), channel(pixel, visual->green_mask),
                          channel(pixel, visual->blue_mask));
        }
    }
    return result;
}

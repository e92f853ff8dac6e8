#pragma once

#include <QImage>
#include <QRect>
#include <QString>

#include <optional>
#include <vector>

struct xcb_connection_t;
struct xcb_screen_t;
struct xcb_get_image_reply_t;

// A plain client connection to the X server named by $DISPLAY: finds top-level windows by
// title, moves and resizes them, and reads screen pixels. Independent of any Qt platform plugin,
// so it works from a program that has no window of its own.
class XDisplay
{
public:
    struct Window
    {
        quint32 id = 0;
        QRect geometry; // in root (screen) coordinates
        QString title;
    };

    XDisplay() = default;
    ~XDisplay();
    XDisplay(const XDisplay &) = delete;
    XDisplay &operator=(const XDisplay &) = delete;

    bool open(QString *error);
    Window root() const;
    // The topmost viewable window whose title starts with the prefix, at any depth of the tree
    // (under a window manager the program's window sits inside a frame).
    std::optional<Window> findByTitle(const QString &prefix) const;
    std::optional<Window> refresh(quint32 id) const;
    void configure(quint32 id, const std::optional<QPoint> &position, const std::optional<QSize> &size);
    void raise(quint32 id);
    // Reads what the screen shows in the rectangle, clipped to the screen.
    QImage grab(const QRect &area, QString *error) const;
    // Reads several areas as the screen shows them at one instant (the server is held meanwhile);
    // empty on failure.
    std::vector<QImage> grabTogether(const std::vector<QRect> &areas, QString *error) const;

private:
    quint32 atom(const char *name) const;
    QString titleOf(quint32 id) const;
    bool isViewable(quint32 id) const;
    QImage toImage(const xcb_get_image_reply_t &image, const QSize &size, QString *error) const;
    std::optional<Window> search(quint32 parent, const QString &prefix, int depth) const;

    xcb_connection_t *connection = nullptr;
    xcb_screen_t *screen = nullptr;
    quint32 netWmName = 0;
    quint32 utf8String = 0;
};

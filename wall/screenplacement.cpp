#include "screenplacement.h"

#include <QDataStream>
#include <QRegion>
#include <QWidget>

namespace ScreenPlacement {

int screenIndexAt(int x, bool maximized, const QVector<QRect> &available)
{
    if (available.size() <= 1)
        return 0;
    if (maximized)
        x += MaximizedFrameOffset;
    for (int i = 0; i < available.size(); ++i) {
        const int right = available.at(i).x() + available.at(i).width();
        if (x < right)
            return i;
    }
    return available.size() - 1;
}

int validScreenIndex(int storedIndex, int screenCount, int primaryIndex)
{
    if (storedIndex < 0 || storedIndex >= screenCount)
        return primaryIndex;
    return storedIndex;
}

bool isUsableGeometry(const QByteArray &geometry)
{
    constexpr quint32 GeometryMagic = 0x1D9D0CB;
    constexpr quint16 NewestMajorVersion = 3;

    QDataStream stream(geometry);
    stream.setVersion(QDataStream::Qt_4_0);
    quint32 magic = 0;
    quint16 major = 0;
    quint16 minor = 0;
    stream >> magic >> major >> minor;
    if (stream.status() != QDataStream::Ok || magic != GeometryMagic || major < 1 ||
        major > NewestMajorVersion)
        return false;

    QRect frame, normal, restored;
    qint32 screen = 0, screenWidth = 0;
    quint8 maximized = 0, fullScreen = 0;
    stream >> frame >> normal >> screen >> maximized >> fullScreen;
    if (major > 1)
        stream >> screenWidth;
    if (major > 2)
        stream >> restored;
    const auto withinWidgetSizes = [](const QRect &r) {
        return qMax(qMax(qAbs(qint64(r.left())), qAbs(qint64(r.top()))),
                    qMax(qAbs(qint64(r.right())), qAbs(qint64(r.bottom())))) <= QWIDGETSIZE_MAX;
    };
    return stream.status() == QDataStream::Ok && withinWidgetSizes(frame) && withinWidgetSizes(normal) &&
           withinWidgetSizes(restored);
}

QRect fittedGeometry(const QRect &window, const QVector<QRect> &available, int fallbackScreen)
{
    QRegion screens;
    for (const QRect &area : available)
        screens += area;
    if (available.isEmpty() || QRegion(window).subtracted(screens).isEmpty())
        return window;

    int screen = qBound(0, fallbackScreen, available.size() - 1);
    qint64 largestOverlap = 0;
    for (int i = 0; i < available.size(); ++i) {
        const QRect overlap = window.intersected(available.at(i));
        const qint64 overlapArea = qint64(overlap.width()) * overlap.height();
        if (overlapArea > largestOverlap) {
            largestOverlap = overlapArea;
            screen = i;
        }
    }
    const QRect area = available.at(screen);
    QRect fitted(window.topLeft(), window.size().boundedTo(area.size()));
    fitted.moveTo(qBound(area.x(), fitted.x(), area.x() + area.width() - fitted.width()),
                  qBound(area.y(), fitted.y(), area.y() + area.height() - fitted.height()));
    return fitted;
}

} // namespace ScreenPlacement

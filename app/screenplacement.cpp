#include "screenplacement.h"

#include <QDataStream>

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

bool isCompleteGeometry(const QByteArray &geometry)
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
    return stream.status() == QDataStream::Ok;
}

} // namespace ScreenPlacement

#include "designartwork.h"

#include <QImage>

DesignArtwork::DesignArtwork(const QString &backgroundFile, const QString &panelFile)
    : backgroundFile(backgroundFile), panelFile(panelFile)
{
    load();
    readable = !backgroundPixmap.isNull();
}

void DesignArtwork::load()
{
    // Read as images: a pixmap loaded from a file is kept in Qt's pixmap cache as well, which would
    // hold it after the drop.
    if (backgroundPixmap.isNull())
        backgroundPixmap = QPixmap::fromImage(QImage(backgroundFile));
    if (panelPixmap.isNull())
        panelPixmap = QPixmap::fromImage(QImage(panelFile));
}

void DesignArtwork::drop()
{
    backgroundPixmap = QPixmap();
    panelPixmap = QPixmap();
}

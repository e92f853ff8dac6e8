#pragma once

#include <QPixmap>
#include <QString>

// The window's artwork at its design size: the background and the plain panel it was drawn on. Only
// the scaling for a new window size reads them; in between they are dropped (4.7 MB, a twentieth of
// the program on a 3840 x 2160 wall) and read again when next needed, in some 15 ms.
class DesignArtwork
{
public:
    DesignArtwork(const QString &backgroundFile, const QString &panelFile);

    // False when the background cannot be read: the window then has no pictures to scale.
    bool exists() const { return readable; }
    // Reads what was dropped. The two pixmaps stay the same objects for this one's life.
    void load();
    void drop();
    const QPixmap &background() const { return backgroundPixmap; }
    const QPixmap &panel() const { return panelPixmap; }

private:
    QString backgroundFile;
    QString panelFile;
    QPixmap backgroundPixmap;
    QPixmap panelPixmap;
    bool readable = false;
};

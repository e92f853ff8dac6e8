#pragma once

#include "meterscale.h"
#include "rowrunimage.h"

#include <QImage>
#include <QPixmap>

class QSize;

// The window's background for the meter scale in use, made once per window size. DIN's marks are
// part of the committed artwork, which is only scaled, as it has always been. Any other scale is
// drawn at the window's own size onto the artwork with DIN's marks taken out, so that its ticks are
// crisp at every size and each lies on the row where a meter's bar ends for its level.
class ScaleBackground
{
public:
    // The artwork and the plain panel it was drawn on, aligned at their top left corners; both
    // stay owned by the caller and must outlive this.
    ScaleBackground(const QPixmap &artwork, const QPixmap &panel);

    // The background fitted into the window as the layout scaling places it (centred, the
    // design's aspect ratio kept).
    RowRunImage scaled(const QSize &window, MeterScale::Id scale);

private:
    const QPixmap &artwork;
    const QPixmap &panel;
    // The artwork without DIN's marks, made when a scale first needs it.
    QImage unmarked;
};

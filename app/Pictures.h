#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

// A picture from the resources, fitted into `bound` (in logical pixels) with
// its aspect kept. At a device pixel ratio of 1 it is the plain fast scaling
// the window has always shown. Above 1 it is scaled smoothly to as many device
// pixels as the screen shows, but never past what the resource holds, and
// carries the ratio that keeps its logical size. Null when the resource cannot
// be read.
QPixmap fitted_picture(const QString& resource, const QSize& bound, qreal ratio);

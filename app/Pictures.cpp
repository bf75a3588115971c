#include "app/Pictures.h"

#include <QImage>

QPixmap fitted_picture(const QString& resource, const QSize& bound, qreal ratio)
{
    const QImage image(resource);
    if (image.isNull()) {
        return QPixmap();
    }
    const QImage fitted = image.scaled(bound, Qt::KeepAspectRatio, Qt::FastTransformation);
    if (ratio <= 1.0) {
        return QPixmap::fromImage(fitted);
    }
    const QSize wanted = (QSizeF(fitted.size()) * ratio).toSize();
    // Scaling past the resource would only blur it: it gives what it holds.
    const QImage sharp = wanted.width() >= image.width() || wanted.height() >= image.height()
        ? image
        : image.scaled(wanted, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPixmap picture = QPixmap::fromImage(sharp);
    picture.setDevicePixelRatio(qreal(sharp.width()) / fitted.width());
    return picture;
}

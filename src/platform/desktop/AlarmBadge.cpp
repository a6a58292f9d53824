#include "AlarmBadge.h"

#include <QPainter>
#include <QPixmap>
#include <algorithm>

namespace platform {

namespace {
void PaintBadge(QPixmap& pixmap) {
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // Half the icon wide, so it still reads at 16 pixels; a white ring keeps
    // it apart from a red or dark icon.
    const qreal side = std::max<qreal>(6, std::min(pixmap.width(), pixmap.height()) * 0.55);
    const qreal ring = std::max<qreal>(1, side / 8);
    const QRectF dot(pixmap.width() - side + ring / 2, pixmap.height() - side + ring / 2,
                     side - ring, side - ring);
    painter.setPen(QPen(Qt::white, ring));
    painter.setBrush(QColor(220, 24, 24));
    painter.drawEllipse(dot);
}
}  // namespace

QIcon AlarmBadge(const QIcon& icon) {
    QList<QSize> sizes = icon.availableSizes();
    if (sizes.isEmpty()) sizes = {QSize(32, 32)};
    QIcon badged;
    for (const QSize& size : sizes) {
        QPixmap pixmap = icon.pixmap(size);
        if (pixmap.isNull()) {
            pixmap = QPixmap(size);
            pixmap.fill(Qt::transparent);
        }
        PaintBadge(pixmap);
        badged.addPixmap(pixmap);
    }
    return badged;
}

}  // namespace platform

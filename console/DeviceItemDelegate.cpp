#include "console/DeviceItemDelegate.h"

#include <QPainter>

namespace {

// Room between the path and its description.
constexpr int kGap = 24;

QString description(const QModelIndex& index)
{
    return index.data(Qt::AccessibleDescriptionRole).toString();
}

} // namespace

void DeviceItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    const QString details = description(index);
    if (details.isEmpty()) {
        return;
    }
    const QRect area = option.rect.adjusted(kGap / 2, 0, -kGap / 2, 0);
    painter->save();
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
    painter->drawText(area, Qt::AlignRight | Qt::AlignVCenter, details);
    painter->restore();
}

QSize DeviceItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QString details = description(index);
    if (!details.isEmpty()) {
        size.rwidth() += kGap + option.fontMetrics.horizontalAdvance(details);
    }
    return size;
}

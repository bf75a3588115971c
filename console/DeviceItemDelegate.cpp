#include "console/DeviceItemDelegate.h"

#include <QApplication>
#include <QPainter>

#include <algorithm>

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
    const QString details = description(index);
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    if (!details.isEmpty()) {
        // The path gives way in its middle, where paths differ least.
        const int room = item.rect.width() - kGap - item.fontMetrics.horizontalAdvance(details);
        item.text = item.fontMetrics.elidedText(item.text, Qt::ElideMiddle, std::max(room, 0));
    }
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
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

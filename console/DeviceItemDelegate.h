#pragma once

#include <QStyledItemDelegate>

// Draws a device picker's item as its path, with the item's description (the
// wallet's mode and interface) in a quieter colour at the right. The item's
// text stays the bare path, so the edit field and everything that takes the
// path from it are unchanged.
class DeviceItemDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

#include "console/MyComboBox.h"

#include <QMouseEvent>

MyComboBox::MyComboBox(QWidget* parent)
    : QComboBox(parent)
{
}

MyComboBox::~MyComboBox() = default;

void MyComboBox::mousePressEvent(QMouseEvent* event)
{
    // Directly connected handlers run to the end here, so the list that
    // opens below already shows their items.
    emit OnPressed();
    QComboBox::mousePressEvent(event);
}

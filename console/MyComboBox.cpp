#include "console/MyComboBox.h"

#include <QKeyEvent>
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

namespace {

// The keys with which a user opens a combo box's list without the mouse.
bool opens_list(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    if (event.key() == Qt::Key_Down || event.key() == Qt::Key_Up) {
        return modifiers == Qt::AltModifier;
    }
    return event.key() == Qt::Key_F4 && modifiers == Qt::NoModifier;
}

} // namespace

void MyComboBox::keyPressEvent(QKeyEvent* event)
{
    // The same announcement as a press, so a list opened from the keyboard is
    // as fresh as one opened with the mouse. Alt+Up would otherwise move the
    // selection; here it opens the list, as on the platforms that use it.
    if (opens_list(*event)) {
        emit OnPressed();
        showPopup();
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

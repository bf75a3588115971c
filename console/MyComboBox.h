#pragma once

#include <QComboBox>

class QKeyEvent;
class QMouseEvent;

// Device picker: announces every mouse press, and every key that opens the
// list (Alt+Down, Alt+Up, F4), before reacting to it, so the owner can refill
// the list just before it opens.
class MyComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit MyComboBox(QWidget* parent = nullptr);
    ~MyComboBox() override;

signals:
    void OnPressed();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

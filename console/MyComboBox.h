#pragma once

#include <QComboBox>

class QMouseEvent;

// Device picker: announces every mouse press before reacting to it, so the
// owner can refill the list just before it opens.
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
};

#pragma once

#include <QWidget>

class Ui_HomePage;
class Widget;

// The main window: logo, product picture, progress bar and the one button
// "自动升级" that runs the automatic update.
class HomePage : public QWidget
{
    Q_OBJECT
public:
    explicit HomePage(QWidget* parent = nullptr);
    ~HomePage() override;

    Ui_HomePage* ui;
    // The advanced window, hosted here and kept out of the user's reach.
    Widget* adv_widget = nullptr;

private:
    void loadPictures();
};

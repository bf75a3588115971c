#pragma once

#include "protocol/UpdateOutcome.h"

#include <QWidget>

class CloseGuard;
class FirmwareImage;
struct BootloaderTarget;
class Ui_HomePage;
class UpdateStatusLine;
class Widget;

// The main window: logo, product picture, progress bar and the one button
// "自动升级" that runs the automatic update.
class HomePage : public QWidget
{
    Q_OBJECT
public:
    explicit HomePage(QWidget* parent = nullptr);
    ~HomePage() override;

    // The automatic update, run inside the click of "自动升级".
    void OnAuto();
    // Shows the advanced window; its button stays hidden and disabled.
    void OnAdvanced();
    // Writes the firmware file to the wallet in its bootloader, moving the
    // progress bar; true when every segment passed its CRC check.
    bool update_device(QString path);
    // The same for an image already read, leaving alone the bootloaders that
    // were on the bus before the wallet was restarted.
    UpdateOutcome update_device(const FirmwareImage& image, const BootloaderTarget& target);

    Ui_HomePage* ui;
    // The advanced window, hosted here and kept out of the user's reach.
    Widget* adv_widget = nullptr;

protected:
    bool event(QEvent* event) override;

private:
    void setupAdvancedWindow();
    void appendFocusRules();
    void setupStatusLine();
    void describeForScreenReaders();
    void loadPictures();

    // Held while OnAuto runs: the window stays open for the whole update.
    CloseGuard* close_guard_ = nullptr;
    // What the update is doing, on "lbl_status".
    UpdateStatusLine* status_line_ = nullptr;
};

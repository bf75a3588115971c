#pragma once

#include <QObject>

#include <functional>

class QWidget;

// Refuses a window's close requests while it is held. Long work runs inside
// a click handler of the window and processes events as it goes, so a close
// request can arrive in the middle of it; closing the last window then would
// quit the event loops the work is waiting in and leave the user without the
// outcome.
class CloseGuard : public QObject
{
    Q_OBJECT
public:
    // Watches `window` and goes with it.
    explicit CloseGuard(QWidget* window);

    void setHeld(bool held) { held_ = held; }
    // Told of each refused request, to answer it where the user looks.
    std::function<void()> onRefused;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool held_ = false;
};

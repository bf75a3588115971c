#pragma once

#include <QWidget>

class MyComboBox;
class QCloseEvent;
class QGridLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// The advanced window: pick a wallet by its HID path, connect, choose a HEX
// file and download it by hand.
class Widget : public QWidget
{
    Q_OBJECT

public:
    explicit Widget(QWidget* parent = nullptr);
    ~Widget() override;

    void OnConnectUsb();
    void OnBrowse();
    void OnDownload();
    void OnFindUsb();
    void OnSetProcessRange(int min, int max);
    void OnOffetProcess(int step);
    void OnDownloadFinished(bool ok);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Init();
    void describeForScreenReaders();
    void describeDevices();
    void showStatus(const QString& text);

    MyComboBox* device_combo_;
    QPushButton* connect_button_;
    QLineEdit* file_edit_;
    QPushButton* browse_button_;
    QProgressBar* progress_bar_;
    QPushButton* download_button_;
    QLabel* status_label_;
    QGridLayout* grid_layout_;
    int progress_pos_;
    // Set while OnDownload runs the writer. Events are processed during the
    // download, so the other controls and a close request can come in
    // re-entrantly; they are ignored rather than let them close or reopen the
    // handle the writer is using.
    bool downloading_ = false;
};

#include "console/Widget.h"

#include "console/ElidedStatus.h"
#include "console/MyComboBox.h"
#include "console/UsbManager.h"
#include "protocol/HIDHelper.h"

#include <QCloseEvent>
#include <QDebug>
#include <QFileDialog>
#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>

Widget::Widget(QWidget* parent)
    : QWidget(parent)
    , device_combo_(nullptr)
    , connect_button_(nullptr)
    , file_edit_(nullptr)
    , browse_button_(nullptr)
    , progress_bar_(nullptr)
    , download_button_(nullptr)
    , status_label_(nullptr)
    , grid_layout_(nullptr)
    , progress_pos_(0)
{
    Init();
}

// Every child is owned through Qt's parent-child ownership.
Widget::~Widget() = default;

void Widget::Init()
{
    device_combo_ = new MyComboBox(this);
    connect_button_ = new QPushButton(QStringLiteral("连接设备"), this);
    file_edit_ = new QLineEdit(this);
    browse_button_ = new QPushButton(QStringLiteral("选择文件"), this);
    progress_bar_ = new QProgressBar(this);
    download_button_ = new QPushButton(QStringLiteral("下载"), this);
    status_label_ = new QLabel(QString(), this);
    grid_layout_ = new QGridLayout(this);

    // A path can also be typed by hand.
    device_combo_->setEditable(true);
    progress_bar_->setTextVisible(false);

    status_label_->setAlignment(Qt::AlignCenter);
    QFont font(QStringLiteral("Microsoft YaHei"), 13, 20, false);
    status_label_->setFont(font);

    const QList<QWidget*> children = findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        child->setFixedHeight(35);
    }

    grid_layout_->addWidget(device_combo_, 0, 0, 1, 2);
    grid_layout_->addWidget(connect_button_, 0, 2, 1, 1);
    grid_layout_->addWidget(file_edit_, 1, 0, 1, 2);
    grid_layout_->addWidget(browse_button_, 1, 2, 1, 1);
    grid_layout_->addWidget(progress_bar_, 2, 0, 1, 2);
    grid_layout_->addWidget(download_button_, 2, 2, 1, 1);
    grid_layout_->addWidget(status_label_, 3, 0, 1, 3);

    setFixedSize(500, 280);
    setLayout(grid_layout_);
    setWindowTitle(QStringLiteral("高级"));

    QPalette background = palette();
    background.setBrush(QPalette::All, QPalette::Window, QBrush(QColor(QStringLiteral("#FAFAFA"))));
    setAutoFillBackground(true);
    setPalette(background);

    connect(connect_button_, &QAbstractButton::clicked, this, &Widget::OnConnectUsb);
    connect(browse_button_, &QAbstractButton::clicked, this, &Widget::OnBrowse);
    connect(download_button_, &QAbstractButton::clicked, this, &Widget::OnDownload);
    connect(device_combo_, &MyComboBox::OnPressed, this, &Widget::OnFindUsb);
    connect(UsbManager::GetInstance()->flash_writer_.data(), &HIDHelper::sig_OnSetRange, this,
            &Widget::OnSetProcessRange);
    connect(UsbManager::GetInstance()->flash_writer_.data(), &HIDHelper::sig_OnOffetPos, this, &Widget::OnOffetProcess);
    connect(UsbManager::GetInstance()->flash_writer_.data(), &HIDHelper::sig_OnDownloadFinished, this,
            &Widget::OnDownloadFinished);
}

void Widget::OnConnectUsb()
{
    if (downloading_) {
        return;
    }
    QString error;
    if (UsbManager::GetInstance()->OpenDevice(device_combo_->currentText(), error)) {
        status_label_->setText(QStringLiteral("连接成功"));
    } else {
        status_label_->setText(QStringLiteral("连接失败: ") + error);
    }
}

void Widget::OnBrowse()
{
    if (downloading_) {
        return;
    }
    const QString path
        = QFileDialog::getOpenFileName(this, QStringLiteral("Open Hex"), QString(), QStringLiteral("Hex Files(*.hex)"));
    if (path.isEmpty()) {
        QMessageBox::information(this, QStringLiteral("警告"), QStringLiteral("没有选择文件"), QMessageBox::Ok);
        return;
    }
    file_edit_->setText(path);
}

void Widget::OnDownload()
{
    download_button_->setEnabled(false);
    progress_bar_->setValue(0);
    status_label_->setText(QStringLiteral("正在下载..."));
    downloading_ = true;
    const auto finished = qScopeGuard([this]() { downloading_ = false; });
    // Nothing below is expected to throw; the guard only keeps a stray
    // exception from leaving a Qt slot.
    try {
        UsbManager::GetInstance()->Send(device_combo_->currentText(), file_edit_->text());
    } catch (...) {
        qDebug() << "exception";
    }
}

void Widget::OnFindUsb()
{
    // The list stays as it is; the download has taken its path already.
    if (downloading_) {
        return;
    }
    device_combo_->clear();
    QString error;
    QList<QString> list;
    if (UsbManager::GetInstance()->GetDeviceList(error, list)) {
        status_label_->setText(QStringLiteral("获取设备列表成功"));
        device_combo_->insertItems(device_combo_->count(), list);
    } else {
        status_label_->setText(QStringLiteral("没有找到设备 ") + error);
    }
}

void Widget::OnSetProcessRange(int min, int max)
{
    progress_pos_ = min;
    progress_bar_->setRange(min, max);
    progress_bar_->setValue(progress_pos_);
}

void Widget::OnOffetProcess(int step)
{
    // The writer sends increments, not positions.
    progress_pos_ += step;
    progress_bar_->setValue(progress_pos_);
}

void Widget::OnDownloadFinished(bool ok)
{
    if (ok) {
        status_label_->setText(QStringLiteral("下载成功"));
    } else {
        // The signal says only that it failed; the manager knows why.
        const UpdateOutcome& outcome = UsbManager::GetInstance()->LastOutcome();
        if (outcome.ok()) {
            status_label_->setText(QStringLiteral("下载失败"));
        } else {
            show_elided_status(status_label_, outcome.row().manual_status + QStringLiteral("：") + outcome.cause());
        }
    }
    download_button_->setEnabled(true);
}

void Widget::closeEvent(QCloseEvent* event)
{
    // The window stays, with the device open, until the writer is done.
    if (downloading_) {
        event->ignore();
        return;
    }
    if (sta_handle_ != nullptr) {
        UsbManager::GetInstance()->CloseDevice();
    }
    QWidget::closeEvent(event);
}

#include "console/Widget.h"

#include "console/DeviceItemDelegate.h"
#include "console/MyComboBox.h"
#include "console/UsbManager.h"
#include "protocol/HIDHelper.h"
#include "protocol/InterfaceDetails.h"

#include <QAbstractItemView>
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

#include <algorithm>

namespace {

const QString kStatusDescription = QStringLiteral("下载状态");

QString mode_text(WalletMode mode)
{
    switch (mode) {
    case WalletMode::Application:
        return QStringLiteral("应用模式");
    case WalletMode::Bootloader:
        return QStringLiteral("升级模式");
    case WalletMode::Other:
        break;
    }
    return QStringLiteral("其他接口");
}

} // namespace

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
    device_combo_->setItemDelegate(new DeviceItemDelegate(device_combo_));
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

    describeForScreenReaders();

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

// What a screen reader says for the fields, which show no label of their own.
// The status line gets no name: left empty, its name is its current text.
void Widget::describeForScreenReaders()
{
    const QString device = QStringLiteral("设备");
    const QString device_hint = QStringLiteral("钱包的设备路径，可手动输入；打开列表时刷新");
    device_combo_->setAccessibleName(device);
    device_combo_->setAccessibleDescription(device_hint);
    device_combo_->lineEdit()->setAccessibleName(device);
    device_combo_->lineEdit()->setAccessibleDescription(device_hint);
    device_combo_->view()->setAccessibleName(QStringLiteral("设备列表"));
    file_edit_->setAccessibleName(QStringLiteral("固件文件"));
    file_edit_->setAccessibleDescription(QStringLiteral("要下载到设备的 HEX 文件路径"));
    progress_bar_->setAccessibleName(QStringLiteral("下载进度"));
    status_label_->setAccessibleDescription(kStatusDescription);
}

void Widget::OnConnectUsb()
{
    if (downloading_) {
        return;
    }
    QString error;
    if (UsbManager::GetInstance()->OpenDevice(device_combo_->currentText(), error)) {
        showStatus(QStringLiteral("连接成功"));
    } else {
        showStatus(QStringLiteral("连接失败: ") + error);
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
    showStatus(QStringLiteral("正在下载..."));
    downloading_ = true;
    // The path and the file stay as they were given to the download, so the
    // window shows what is being written, and afterwards what was.
    device_combo_->setEnabled(false);
    file_edit_->setEnabled(false);
    const auto finished = qScopeGuard([this]() {
        downloading_ = false;
        device_combo_->setEnabled(true);
        file_edit_->setEnabled(true);
    });
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
        showStatus(QStringLiteral("获取设备列表成功"));
        device_combo_->insertItems(device_combo_->count(), list);
        describeDevices();
    } else {
        showStatus(QStringLiteral("没有找到设备 ") + error);
    }
}

// Beside each path, the wallet's mode and the interface, which the path alone
// does not tell (a Linux /dev/hidrawN names neither). The item's text stays
// the path.
void Widget::describeDevices()
{
    const QHash<QString, InterfaceDetails> details = interface_details();
    for (int i = 0; i < device_combo_->count(); ++i) {
        const auto found = details.constFind(device_combo_->itemText(i));
        if (found == details.constEnd()) {
            continue;
        }
        const QString text = QStringLiteral("%1 · 接口 %2").arg(mode_text(found->mode)).arg(found->interface_number);
        device_combo_->setItemData(i, text, Qt::AccessibleDescriptionRole);
        device_combo_->setItemData(i, text, Qt::ToolTipRole);
    }
    // The open list as wide as its longest line, up to the window's width;
    // longer paths give way in their middle.
    device_combo_->view()->setMinimumWidth(std::min(device_combo_->view()->sizeHintForColumn(0), width()));
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
        showStatus(QStringLiteral("下载成功"));
    } else {
        // The reason follows the words the window has always shown.
        const UpdateOutcome& outcome = UsbManager::GetInstance()->LastOutcome();
        const QString failed = QStringLiteral("下载失败");
        showStatus(outcome.ok() ? failed : failed + QStringLiteral("：") + outcome.reason());
    }
    download_button_->setEnabled(true);
}

// One line, cut to the label's width so the fixed-size window keeps its
// layout; a line that had to be cut is whole in the tooltip and for screen
// readers.
void Widget::showStatus(const QString& text)
{
    grid_layout_->activate();
    const int room = status_label_->contentsRect().width();
    const QString shown = status_label_->fontMetrics().elidedText(text, Qt::ElideRight, room);
    status_label_->setText(shown);
    const bool cut = shown != text;
    status_label_->setToolTip(cut ? text : QString());
    status_label_->setAccessibleDescription(cut ? text : kStatusDescription);
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

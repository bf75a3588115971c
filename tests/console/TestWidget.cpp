#include "console/MyComboBox.h"
#include "console/UsbManager.h"
#include "console/Widget.h"
#include "log/Settings.h"
#include "protocol/Commands.h"
#include "protocol/HIDHelper.h"
#include "sim/SimBus.h"
#include "support/MessageBoxCatcher.h"
#include "support/TempImage.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(sim::PathStyle)
Q_DECLARE_METATYPE(sim::Faults)

namespace {
void no_wait(unsigned int) { }
} // namespace

// The advanced window: its structure, and the device paths driven through it
// against the simulated wallet.
class TestWidget : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir logDir_;

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void pickerListsTheWallet_data();
    void pickerListsTheWallet();
    void connectTexts();
    void downloadEndToEnd();
    void secondDownloadRestartsTheBar();
    void failuresNeverSucceed_data();
    void failuresNeverSucceed();
    void browseSetsOrKeepsTheField_data();
    void browseSetsOrKeepsTheField();
    void closingClosesTheDevice();
    void controlsWaitForTheDownload_data();
    void controlsWaitForTheDownload();
    void treeAndTexts();
    void gridCells_data();
    void gridCells();
    void progressAccumulatesSteps();
    void finishedTexts_data();
    void finishedTexts();
    void closingWithoutDeviceHides();
};

template<typename T>
static QList<T*> direct(const QWidget& w)
{
    return w.findChildren<T*>(QString(), Qt::FindDirectChildrenOnly);
}

static QPushButton* button(const QWidget& w, const QString& text)
{
    for (QPushButton* b : direct<QPushButton>(w)) {
        if (b->text() == text) {
            return b;
        }
    }
    return nullptr;
}

void TestWidget::treeAndTexts()
{
    Widget w(nullptr);
    QCOMPARE(w.windowTitle(), QStringLiteral("高级"));
    QCOMPARE(w.minimumSize(), QSize(500, 280));
    QCOMPARE(w.maximumSize(), QSize(500, 280));
    QVERIFY(w.autoFillBackground());
    QCOMPARE(w.palette().color(QPalette::Inactive, QPalette::Window), QColor(QStringLiteral("#FAFAFA")));
    QCOMPARE(direct<QWidget>(w).size(), 7);
    for (QWidget* child : direct<QWidget>(w)) {
        QCOMPARE(child->minimumHeight(), 35);
        QCOMPARE(child->maximumHeight(), 35);
    }
    QCOMPARE(direct<MyComboBox>(w).size(), 1);
    QVERIFY(direct<MyComboBox>(w).first()->isEditable());
    QVERIFY(button(w, QStringLiteral("连接设备")));
    QVERIFY(button(w, QStringLiteral("选择文件")));
    QVERIFY(button(w, QStringLiteral("下载")));
    QVERIFY(!direct<QProgressBar>(w).first()->isTextVisible());
    QLabel* status = direct<QLabel>(w).first();
    QVERIFY(status->text().isEmpty());
    QCOMPARE(status->alignment(), Qt::AlignCenter);
    QCOMPARE(status->font().family(), QStringLiteral("Microsoft YaHei"));
    QCOMPARE(status->font().pointSize(), 13);
    QCOMPARE(status->font().weight(), 20);
    QVERIFY(!status->font().italic());
}

void TestWidget::gridCells_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("span");
    QTest::newRow("picker") << "MyComboBox" << 0 << 0 << 2;
    QTest::newRow("connect") << "连接设备" << 0 << 2 << 1;
    QTest::newRow("file") << "QLineEdit" << 1 << 0 << 2;
    QTest::newRow("browse") << "选择文件" << 1 << 2 << 1;
    QTest::newRow("progress") << "QProgressBar" << 2 << 0 << 2;
    QTest::newRow("download") << "下载" << 2 << 2 << 1;
    QTest::newRow("status") << "QLabel" << 3 << 0 << 3;
}

void TestWidget::gridCells()
{
    QFETCH(QString, kind);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, span);
    Widget w(nullptr);
    auto* grid = qobject_cast<QGridLayout*>(w.layout());
    QVERIFY(grid);
    QWidget* target = button(w, kind);
    if (!target) {
        for (QWidget* child : direct<QWidget>(w)) {
            if (QString::fromLatin1(child->metaObject()->className()) == kind) {
                target = child;
            }
        }
    }
    QVERIFY(target);
    const int index = grid->indexOf(target);
    QVERIFY(index >= 0);
    int r = 0, c = 0, rs = 0, cs = 0;
    grid->getItemPosition(index, &r, &c, &rs, &cs);
    QCOMPARE(r, row);
    QCOMPARE(c, column);
    QCOMPARE(rs, 1);
    QCOMPARE(cs, span);
}

void TestWidget::progressAccumulatesSteps()
{
    Widget w(nullptr);
    QProgressBar* bar = direct<QProgressBar>(w).first();
    w.OnSetProcessRange(0, 5);
    for (int i = 0; i < 5; ++i) {
        w.OnOffetProcess(1);
    }
    QCOMPARE(bar->maximum(), 5);
    QCOMPARE(bar->value(), 5);
    // A second download starts from the minimum of its own range.
    w.OnSetProcessRange(2, 9);
    QCOMPARE(bar->value(), 2);
    w.OnOffetProcess(3);
    QCOMPARE(bar->value(), 5);
}

void TestWidget::finishedTexts_data()
{
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("text");
    QTest::newRow("verified") << true << QStringLiteral("下载成功");
    QTest::newRow("failed") << false << QStringLiteral("下载失败");
}

void TestWidget::finishedTexts()
{
    QFETCH(bool, ok);
    QFETCH(QString, text);
    Widget w(nullptr);
    QPushButton* download = button(w, QStringLiteral("下载"));
    download->setEnabled(false);
    w.OnDownloadFinished(ok);
    QCOMPARE(direct<QLabel>(w).first()->text(), text);
    QVERIFY(download->isEnabled());
}

void TestWidget::closingWithoutDeviceHides()
{
    Widget w(nullptr);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
    w.show();
    QVERIFY(w.isVisible());
}

static QString statusText(const Widget& w)
{
    return direct<QLabel>(w).first()->text();
}

void TestWidget::initTestCase()
{
    // The run log goes to the working directory.
    QVERIFY(logDir_.isValid());
    QVERIFY(QDir::setCurrent(logDir_.path()));
    settings().wait = no_wait;
}

void TestWidget::init()
{
    sim::Bus::instance().reset();
}

void TestWidget::cleanup()
{
    UsbManager::GetInstance()->CloseDevice();
    sim::Bus::instance().reset();
}

void TestWidget::pickerListsTheWallet_data()
{
    QTest::addColumn<sim::PathStyle>("style");
    QTest::newRow("macOS") << sim::PathStyle::MacOS;
    QTest::newRow("Linux") << sim::PathStyle::Linux;
}

void TestWidget::pickerListsTheWallet()
{
    QFETCH(sim::PathStyle, style);
    Widget w(nullptr);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    MyComboBox* picker = direct<MyComboBox>(w).first();
    QTest::mousePress(picker, Qt::LeftButton);
    picker->hidePopup();
    QCOMPARE(picker->count(), 0);
    QCOMPARE(statusText(w), QStringLiteral("没有找到设备 "));

    sim::WalletConfig config;
    config.path_style = style;
    sim::Wallet& wallet = sim::Bus::instance().attachWallet(config);
    QTest::mousePress(picker, Qt::LeftButton);
    picker->hidePopup();
    QCOMPARE(statusText(w), QStringLiteral("获取设备列表成功"));
    QVERIFY(picker->count() >= 1);
    for (int i = 0; i < picker->count(); ++i) {
        const auto paths = wallet.paths();
        QVERIFY(std::find(paths.begin(), paths.end(), picker->itemText(i)) != paths.end());
    }

    sim::Bus::instance().unplug(wallet);
    QTest::mousePress(picker, Qt::LeftButton);
    picker->hidePopup();
    QCOMPARE(picker->count(), 0);
    QCOMPARE(statusText(w), QStringLiteral("没有找到设备 "));
}

void TestWidget::connectTexts()
{
    Widget w(nullptr);
    MyComboBox* picker = direct<MyComboBox>(w).first();
    picker->setEditText(QStringLiteral("no-such-path"));
    QTest::mouseClick(button(w, QStringLiteral("连接设备")), Qt::LeftButton);
    QCOMPARE(statusText(w), QStringLiteral("连接失败: 未找到设备"));
    QVERIFY(sta_handle_ == nullptr);

    sim::Bus::instance().attachWallet();
    w.OnFindUsb();
    QVERIFY(picker->count() >= 1);
    QTest::mouseClick(button(w, QStringLiteral("连接设备")), Qt::LeftButton);
    QCOMPARE(statusText(w), QStringLiteral("连接成功"));
    QVERIFY(sta_handle_ != nullptr);
}

void TestWidget::downloadEndToEnd()
{
    sim::Wallet& wallet = sim::Bus::instance().attachWallet();
    TempImage image(hex::image(hex::two_segments()), "\r\n");
    MessageBoxCatcher boxes;
    Widget w(nullptr);
    w.OnFindUsb();
    w.OnConnectUsb();
    direct<QLineEdit>(w).first()->setText(image.path());
    QPushButton* download = button(w, QStringLiteral("下载"));

    // The button stays disabled for as long as the writer reports progress.
    int steps = 0;
    int stepsWhileEnabled = 0;
    QObject guard;
    connect(UsbManager::GetInstance()->flash_writer_.data(), &HIDHelper::sig_OnOffetPos, &guard, [&](int) {
        ++steps;
        stepsWhileEnabled += download->isEnabled() ? 1 : 0;
    });
    QTest::mouseClick(download, Qt::LeftButton);

    QCOMPARE(statusText(w), QStringLiteral("下载成功"));
    QVERIFY(download->isEnabled());
    QCOMPARE(steps, 21 + 40);
    QCOMPARE(stepsWhileEnabled, 0);
    QProgressBar* bar = direct<QProgressBar>(w).first();
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 21 + 40);
    QCOMPARE(bar->value(), 21 + 40);
    QCOMPARE(boxes.texts(), QStringList {QStringLiteral("即将进行下载，请勿断开设备")});
    QCOMPARE(wallet.firmwareUpdates(), 1);
    QCOMPARE(wallet.commandCount(CMD_CHECK_CRC), 2);
    for (const hex::Window& window : hex::two_segments()) {
        QCOMPARE(wallet.flashAt(hex::window_address(window), window.data.size()), window.data);
    }
}

void TestWidget::secondDownloadRestartsTheBar()
{
    sim::Bus::instance().attachWallet();
    TempImage large(hex::image({{0x0800, 0x4000, hex::pattern(30 * 16, 2)}}), "\r\n");
    TempImage small(hex::image({{0x0800, 0x4000, hex::pattern(5 * 16, 9)}}), "\r\n");
    MessageBoxCatcher boxes;
    Widget w(nullptr);
    QProgressBar* bar = direct<QProgressBar>(w).first();
    QLineEdit* file = direct<QLineEdit>(w).first();
    QPushButton* download = button(w, QStringLiteral("下载"));

    w.OnFindUsb();
    w.OnConnectUsb();
    file->setText(large.path());
    QTest::mouseClick(download, Qt::LeftButton);
    QCOMPARE(statusText(w), QStringLiteral("下载成功"));
    QCOMPARE(bar->value(), 30);

    // The wallet is back in its application under the same paths.
    w.OnFindUsb();
    w.OnConnectUsb();
    file->setText(small.path());
    QTest::mouseClick(download, Qt::LeftButton);
    QCOMPARE(statusText(w), QStringLiteral("下载成功"));
    QCOMPARE(bar->maximum(), 5);
    QCOMPARE(bar->value(), 5);
}

void TestWidget::failuresNeverSucceed_data()
{
    QTest::addColumn<sim::Faults>("faults");
    QTest::addColumn<bool>("connect");
    QTest::addColumn<bool>("goodImage");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<bool>("walletTouched");

    const QString warning = QStringLiteral("即将进行下载，请勿断开设备");
    sim::Faults none;
    QTest::newRow("refused image") << none << true << false << QStringList() << false;
    QTest::newRow("not connected") << none << false << true << QStringList {QStringLiteral("设备未打开")} << false;
    sim::Faults unplug;
    unplug.unplug_after = 6;
    QTest::newRow("wallet unplugged") << unplug << true << true << QStringList {warning} << true;
    sim::Faults noBoot;
    noBoot.no_bootloader = true;
    QTest::newRow("no bootloader") << noBoot << true << true
                                   << QStringList {warning, QStringLiteral("获取设备列表失败")} << true;
    sim::Faults noErase;
    noErase.no_erase_reply = true;
    QTest::newRow("no erase reply") << noErase << true << true << QStringList {warning} << true;
    sim::Faults writeError;
    writeError.write_error_at = 5;
    QTest::newRow("write error") << writeError << true << true << QStringList {warning} << true;
    sim::Faults refuseLast;
    refuseLast.refuse_crc = 1;
    QTest::newRow("last CRC refused") << refuseLast << true << true << QStringList {warning} << true;
}

void TestWidget::failuresNeverSucceed()
{
    QFETCH(sim::Faults, faults);
    QFETCH(bool, connect);
    QFETCH(bool, goodImage);
    QFETCH(QStringList, boxes);
    QFETCH(bool, walletTouched);
    sim::WalletConfig config;
    config.faults = faults;
    sim::Wallet& wallet = sim::Bus::instance().attachWallet(config);
    TempImage good(hex::image({{0x0800, 0x4000, hex::pattern(64, 5)}, {0x0801, 0x0000, hex::pattern(32, 6)}}), "\r\n");
    TempImage bad(QByteArray(":zz\n"));
    MessageBoxCatcher catcher;
    Widget w(nullptr);
    w.OnFindUsb();
    if (connect) {
        w.OnConnectUsb();
        QCOMPARE(statusText(w), QStringLiteral("连接成功"));
    }
    direct<QLineEdit>(w).first()->setText(goodImage ? good.path() : bad.path());
    QPushButton* download = button(w, QStringLiteral("下载"));
    QTest::mouseClick(download, Qt::LeftButton);

    QCOMPARE(statusText(w), QStringLiteral("下载失败"));
    QVERIFY(download->isEnabled());
    QCOMPARE(catcher.texts(), boxes);
    QCOMPARE(wallet.reportsReceived() > 0, walletTouched);
    QCOMPARE(wallet.commandCount(CMD_FINISH), 0);
    QCOMPARE(wallet.firmwareUpdates(), 0);
}

void TestWidget::browseSetsOrKeepsTheField_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::newRow("file chosen") << false;
    QTest::newRow("dialog cancelled") << true;
}

void TestWidget::browseSetsOrKeepsTheField()
{
    QFETCH(bool, cancel);
    TempImage chosen(hex::image({{0x0800, 0x4000, hex::pattern(16, 1)}}));
    Widget w(nullptr);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QLineEdit* field = direct<QLineEdit>(w).first();
    field->setText(QStringLiteral("earlier.hex"));

    QString caption;
    QStringList filters;
    QTimer answer;
    answer.setInterval(5);
    connect(&answer, &QTimer::timeout, &answer, [&]() {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFileDialog*>(top);
            if (dialog == nullptr || !dialog->isVisible()) {
                continue;
            }
            answer.stop();
            caption = dialog->windowTitle();
            filters = dialog->nameFilters();
            if (cancel) {
                dialog->reject();
            } else {
                dialog->selectFile(chosen.path());
                QMetaObject::invokeMethod(dialog, "accept");
            }
        }
    });
    answer.start();
    MessageBoxCatcher boxes;
    QTest::mouseClick(button(w, QStringLiteral("选择文件")), Qt::LeftButton);

    QCOMPARE(caption, QStringLiteral("Open Hex"));
    QCOMPARE(filters, QStringList {QStringLiteral("Hex Files(*.hex)")});
    if (cancel) {
        QCOMPARE(field->text(), QStringLiteral("earlier.hex"));
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().title, QStringLiteral("警告"));
        QCOMPARE(boxes.boxes().first().text, QStringLiteral("没有选择文件"));
        QVERIFY(boxes.boxes().first().hasParent);
    } else {
        QCOMPARE(QFileInfo(field->text()).canonicalFilePath(), QFileInfo(chosen.path()).canonicalFilePath());
        QVERIFY(boxes.boxes().isEmpty());
    }
}

void TestWidget::closingClosesTheDevice()
{
    sim::Bus::instance().attachWallet();
    Widget w(nullptr);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.OnFindUsb();
    w.OnConnectUsb();
    QCOMPARE(sim::Bus::instance().openHandles(), 1);
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
    QVERIFY(sta_handle_ == nullptr);
    QCOMPARE(sim::Bus::instance().openHandles(), 0);
    w.show();
    w.OnConnectUsb();
    QCOMPARE(statusText(w), QStringLiteral("连接成功"));
    QCOMPARE(sim::Bus::instance().openHandles(), 1);
}

void TestWidget::controlsWaitForTheDownload_data()
{
    QTest::addColumn<QString>("control");
    // Once the download has ended: the device handles left open and the status text.
    QTest::addColumn<int>("handlesAfter");
    QTest::addColumn<QString>("statusAfter");
    QTest::newRow("picker press") << "picker" << 1 << "获取设备列表成功";
    QTest::newRow("connect") << "连接设备" << 1 << "连接成功";
    QTest::newRow("browse") << "选择文件" << 1 << "下载成功";
    QTest::newRow("close request") << "close" << 0 << "下载成功";
}

// Each control used while the writer runs, then again once it has finished.
void TestWidget::controlsWaitForTheDownload()
{
    QFETCH(QString, control);
    QFETCH(int, handlesAfter);
    QFETCH(QString, statusAfter);
    sim::Wallet& wallet = sim::Bus::instance().attachWallet();
    TempImage image(hex::image(hex::two_segments()), "\r\n");
    MessageBoxCatcher boxes;
    Widget w(nullptr);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // The path typed by hand, so that a refresh would show in the picker.
    MyComboBox* picker = direct<MyComboBox>(w).first();
    w.OnFindUsb();
    const QString typed = picker->currentText();
    picker->clear();
    picker->setEditText(typed);
    w.OnConnectUsb();
    direct<QLineEdit>(w).first()->setText(image.path());

    // A file dialog is counted and cancelled, so a browse that goes through cannot hang the test.
    int dialogs = 0;
    QTimer dismiss;
    connect(&dismiss, &QTimer::timeout, &dismiss, [&]() {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFileDialog*>(top);
            if (dialog != nullptr && dialog->isVisible()) {
                ++dialogs;
                dialog->reject();
            }
        }
    });
    dismiss.start(5);
    const auto use = [&]() {
        if (control == QLatin1String("picker")) {
            QTest::mousePress(picker, Qt::LeftButton);
            picker->hidePopup();
        } else if (control == QLatin1String("close")) {
            w.close();
        } else {
            QTest::mouseClick(button(w, control), Qt::LeftButton);
        }
    };
    bool used = false;
    QObject once;
    connect(UsbManager::GetInstance()->flash_writer_.data(), &HIDHelper::sig_OnOffetPos, &once, [&](int) {
        if (!used) {
            used = true;
            use();
        }
    });
    QTest::mouseClick(button(w, QStringLiteral("下载")), Qt::LeftButton);

    QVERIFY(used);
    QCOMPARE(statusText(w), QStringLiteral("下载成功"));
    QVERIFY(w.isVisible());
    QCOMPARE(picker->count(), 0);
    QCOMPARE(picker->currentText(), typed);
    QCOMPARE(dialogs, 0);
    QCOMPARE(boxes.texts(), QStringList {QStringLiteral("即将进行下载，请勿断开设备")});
    QCOMPARE(wallet.commandCount(CMD_FINISH), 1);
    QCOMPARE(wallet.firmwareUpdates(), 1);
    for (const hex::Window& window : hex::two_segments()) {
        QCOMPARE(wallet.flashAt(hex::window_address(window), window.data.size()), window.data);
    }

    // Once the writer is done, the same control acts again.
    use();
    QCOMPARE(statusText(w), statusAfter);
    QCOMPARE(dialogs, control == QStringLiteral("选择文件") ? 1 : 0);
    QCOMPARE(w.isVisible(), control != QLatin1String("close"));
    QCOMPARE(sim::Bus::instance().openHandles(), handlesAfter);
}

QTEST_MAIN(TestWidget)
#include "TestWidget.moc"

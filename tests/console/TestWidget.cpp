#include "console/MyComboBox.h"
#include "console/UsbManager.h"
#include "console/Widget.h"
#include "protocol/DeviceSettings.h"
#include "protocol/HIDHelper.h"
#include "sim/SimBus.h"
#include "support/Children.h"
#include "support/MessageBoxCatcher.h"
#include "support/TempImage.h"
#include "support/WalletRuns.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>

namespace {

void no_wait(unsigned int) { }

const QString kNotice = QStringLiteral("即将进行下载，请勿断开设备");

QString status(const Widget& w)
{
    return child<QLabel>(w)->text();
}

// A mouse press on the picker, as the user opens its list.
void pressPicker(const Widget& w)
{
    QTest::mousePress(child<MyComboBox>(w), Qt::LeftButton);
    child<MyComboBox>(w)->hidePopup();
}

// Hands every file dialog that shows while `timer` runs to `answer`.
void answerFileDialogs(QTimer& timer, const std::function<void(QFileDialog*)>& answer)
{
    QObject::connect(&timer, &QTimer::timeout, &timer, [answer]() {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFileDialog*>(top);
            if (dialog != nullptr && dialog->isVisible()) {
                answer(dialog);
            }
        }
    });
    timer.start(5);
}

} // namespace

// The advanced window: its structure, and the device paths driven through it
// against the simulated wallet.
class TestWidget : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir logDir_;

private slots:
    void initTestCase()
    {
        // The run log goes to the working directory.
        QVERIFY(QDir::setCurrent(logDir_.path()));
        device_settings().wait = no_wait;
    }
    void cleanup()
    {
        UsbManager::GetInstance()->CloseDevice();
        sim::Bus::instance().reset();
    }
    // One session: each press or opening key refills the picker, a connect
    // shows its outcome, and a close hides the window, closing a connected device.
    void pickConnectAndClose()
    {
        Widget w(nullptr);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        MyComboBox* picker = child<MyComboBox>(w);
        pressPicker(w);
        QCOMPARE(picker->count(), 0);
        QCOMPARE(status(w), QStringLiteral("没有找到设备 "));
        picker->setEditText(QStringLiteral("no-such-path"));
        QTest::mouseClick(child<QPushButton>(w, QStringLiteral("连接设备")), Qt::LeftButton);
        QCOMPARE(status(w), QStringLiteral("连接失败: 未找到设备"));
        QVERIFY(w.close());
        QVERIFY(!w.isVisible());

        w.show();
        sim::Wallet& wallet = sim::Bus::instance().attachWallet();
        pressPicker(w);
        QCOMPARE(status(w), QStringLiteral("获取设备列表成功"));
        QCOMPARE(picker->count(), 1);
        const auto paths = wallet.paths();
        QCOMPARE(int(std::count(paths.begin(), paths.end(), picker->itemText(0))), 1);
        // Each item's text the bare path, the mode and interface beside it.
        const auto details = [picker]() {
            return picker->itemData(0, Qt::ToolTipRole).toString() + QLatin1Char('|')
                + picker->itemData(0, Qt::AccessibleDescriptionRole).toString();
        };
        QCOMPARE(details(), QStringLiteral("应用模式 · 接口 0|应用模式 · 接口 0"));
        QTest::mouseClick(child<QPushButton>(w, QStringLiteral("连接设备")), Qt::LeftButton);
        QCOMPARE(status(w), QStringLiteral("连接成功"));
        QCOMPARE(sim::Bus::instance().openHandles(), 1);
        QVERIFY(w.close());
        QVERIFY(!w.isVisible());
        QVERIFY(sta_handle_ == nullptr);
        QCOMPARE(sim::Bus::instance().openHandles(), 0);

        // Shown again, the same path opens anew; once unplugged it is no longer listed.
        w.show();
        w.OnConnectUsb();
        QCOMPARE(status(w), QStringLiteral("连接成功"));
        QCOMPARE(sim::Bus::instance().openHandles(), 1);
        sim::Bus::instance().unplug(wallet);
        pressPicker(w);
        QCOMPARE(picker->count(), 0);
        QCOMPARE(status(w), QStringLiteral("没有找到设备 "));

        // Opened from the keyboard, the picker is refilled as by a press.
        sim::WalletConfig bootloader;
        bootloader.mode = sim::Mode::Bootloader;
        sim::Bus::instance().attachWallet(bootloader);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        picker->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down, Qt::AltModifier);
        QVERIFY(picker->view()->isVisible());
        picker->hidePopup();
        QCOMPARE(status(w), QStringLiteral("获取设备列表成功"));
        QCOMPARE(picker->currentText(), picker->itemText(0));
        QCOMPARE(details(), QStringLiteral("升级模式 · 接口 0|升级模式 · 接口 0"));
    }
    // A file chosen, then the next browse cancelled: the field keeps the file and a warning shows.
    void browseThenCancel()
    {
        TempImage chosen(hex::image({{0x0800, 0x4000, hex::pattern(16, 1)}}));
        Widget w(nullptr);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QStringList dialogs; // caption and filters of each
        QTimer answer;
        answerFileDialogs(answer, [&](QFileDialog* dialog) {
            dialogs << dialog->windowTitle() + QLatin1Char(' ') + dialog->nameFilters().join(QLatin1Char(';'));
            if (dialogs.size() == 1) {
                dialog->selectFile(chosen.path());
                QMetaObject::invokeMethod(dialog, "accept");
            } else {
                dialog->reject();
            }
        });
        MessageBoxCatcher boxes;
        const QString canonical = QFileInfo(chosen.path()).canonicalFilePath();
        QTest::mouseClick(child<QPushButton>(w, QStringLiteral("选择文件")), Qt::LeftButton);
        QCOMPARE(QFileInfo(child<QLineEdit>(w)->text()).canonicalFilePath(), canonical);
        QVERIFY(boxes.boxes().isEmpty());

        QTest::mouseClick(child<QPushButton>(w, QStringLiteral("选择文件")), Qt::LeftButton);
        QCOMPARE(dialogs, QStringList({"Open Hex Hex Files(*.hex)", "Open Hex Hex Files(*.hex)"}));
        QCOMPARE(QFileInfo(child<QLineEdit>(w)->text()).canonicalFilePath(), canonical);
        QCOMPARE(boxes.texts(), QStringList {QStringLiteral("没有选择文件")});
        QCOMPARE(boxes.boxes().first().title, QStringLiteral("警告"));
        QVERIFY(boxes.boxes().first().hasParent);
    }
    void controlsWaitForTheDownload_data()
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
    // A download end to end, with each control used while the writer runs, then
    // again once it has finished.
    void controlsWaitForTheDownload()
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
        MyComboBox* picker = child<MyComboBox>(w);
        w.OnFindUsb();
        const QString typed = picker->currentText();
        picker->clear();
        picker->setEditText(typed);
        w.OnConnectUsb();
        child<QLineEdit>(w)->setText(image.path());

        // A file dialog is counted and cancelled, so a browse that goes through cannot hang the test.
        int dialogs = 0;
        QTimer dismiss;
        answerFileDialogs(dismiss, [&](QFileDialog* dialog) {
            ++dialogs;
            dialog->reject();
        });
        const auto use = [&]() {
            if (control == QLatin1String("picker")) {
                pressPicker(w);
            } else if (control == QLatin1String("close")) {
                w.close();
            } else if (!control.isEmpty()) {
                QTest::mouseClick(child<QPushButton>(w, control), Qt::LeftButton);
            }
        };
        // The download button stays disabled for as long as the writer reports progress.
        QPushButton* download = child<QPushButton>(w, QStringLiteral("下载"));
        int steps = 0;
        int stepsWhileEnabled = 0;
        // Neither can the path nor the file be changed while it is being written.
        QWidget* file_field = child<QLineEdit>(w);
        QObject guard;
        connect(UsbManager::GetInstance()->flash_writer_.data(), &HIDHelper::sig_OnOffetPos, &guard, [&](int) {
            stepsWhileEnabled += download->isEnabled() || picker->isEnabled() || file_field->isEnabled() ? 1 : 0;
            if (steps++ == 0) {
                use();
            }
        });
        QTest::mouseClick(download, Qt::LeftButton);

        QCOMPARE(status(w), QStringLiteral("下载成功"));
        QVERIFY(download->isEnabled() && picker->isEnabled() && file_field->isEnabled());
        QCOMPARE(steps, 21 + 40);
        QCOMPARE(stepsWhileEnabled, 0);
        QProgressBar* bar = child<QProgressBar>(w);
        QCOMPARE(QVector<int>({bar->minimum(), bar->value(), bar->maximum()}), QVector<int>({0, 61, 61}));
        QVERIFY(w.isVisible());
        QCOMPARE(picker->count(), 0);
        QCOMPARE(picker->currentText(), typed);
        QCOMPARE(dialogs, 0);
        QCOMPARE(boxes.texts(), QStringList {kNotice});
        QVERIFY(holds(wallet, hex::two_segments()));

        // Once the writer is done, the same control acts again.
        use();
        QCOMPARE(status(w), statusAfter);
        QCOMPARE(dialogs, control == QStringLiteral("选择文件") ? 1 : 0);
        QCOMPARE(w.isVisible(), control != QLatin1String("close"));
        QCOMPARE(sim::Bus::instance().openHandles(), handlesAfter);
    }
};

QTEST_MAIN(TestWidget)
#include "TestWidget.moc"

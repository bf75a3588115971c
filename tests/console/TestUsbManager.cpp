#include "console/UsbManager.h"
#include "sim/SimBus.h"
#include "support/RunLog.h"

#include <QtTest>

namespace {

const QString kFound = QStringLiteral("搜索到的设备数：%1"); // the run-log line of a listing
const QString kOpened = QStringLiteral("打开设备结果：");
const QString kNotFound = QStringLiteral("未找到设备");
const QRegularExpression kPermissionHint(QStringLiteral(
    "^cannot open /dev/hidraw\\d+: permission denied\\. Install the udev rule 70-tessaro-wallet\\.rules"));

} // namespace

// The device manager over the simulated bus. Each case builds its own manager,
// so hidapi's set-up and shut-down are part of what is tested.
class TestUsbManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The run log goes to the working directory.
        QVERIFY(QDir::setCurrent(dir_.path()));
    }
    void init()
    {
        bus_.reset();
        QVERIFY(sta_handle_ == nullptr);
    }

    void listing_data()
    {
        QTest::addColumn<bool>("initFails");
        // The application's listings through the same call: TestFlashDevices.
        QTest::newRow("bootloader, hidraw") << false;
        QTest::newRow("hidapi not initialised") << true;
    }
    // The bootloader has one interface, always listed; without hidapi nothing is.
    void listing()
    {
        QFETCH(bool, initFails);
        bus_.setInitFails(initFails);
        sim::WalletConfig config;
        config.path_style = sim::PathStyle::Linux;
        config.mode = sim::Mode::Bootloader;
        const std::vector<QString> paths = bus_.attachWallet(config).paths();
        QCOMPARE(int(paths.size()), 1);

        UsbManager manager;
        QString error;
        // Without hidapi the caller's list is left as it was.
        const QList<QString> kept = initFails ? QList<QString> {QStringLiteral("kept")} : QList<QString>();
        QList<QString> list = kept;
        const QString logged = run_log::lastText();
        QCOMPARE(manager.GetDeviceList(error, list), !initFails);
        QCOMPARE(error, initFails ? QStringLiteral("hid is not inited") : QString());
        QCOMPARE(list, initFails ? kept : QList<QString> {paths.front()});
        QCOMPARE(run_log::lastText(), initFails ? logged : kFound.arg(1));
    }

    // One device open at a time; sta_handle_ is null or the handle opened by path.
    void openingAndClosing()
    {
        sim::Wallet& a = bus_.attachWallet();
        sim::Wallet& b = bus_.attachWallet();
        const QString pathA = a.paths().front();
        UsbManager manager;
        QString error;

        QVERIFY(manager.OpenDevice(pathA, error));
        QVERIFY(error.isEmpty());
        QVERIFY(sta_handle_ != nullptr);
        QCOMPARE(bus_.openHandles(), 1);
        QCOMPARE(run_log::lastText(), kOpened + pathA);

        // Reopening the same path, opening another or the vendor's first device
        // leaves one handle, the new one; only an open by path is remembered
        // for the advanced window's close.
        QVERIFY(manager.OpenDevice(pathA, error));
        QCOMPARE(bus_.openHandles(), 1);
        QVERIFY(sta_handle_ != nullptr);
        QVERIFY(manager.OpenDevice(b.paths().front(), error));
        QCOMPARE(bus_.openHandles(), 1);
        QVERIFY(manager.OpenDevice(error));
        QCOMPARE(bus_.openHandles(), 1);
        QVERIFY(sta_handle_ == nullptr);

        // A failed open (here of the empty path) leaves nothing open, even what
        // was open before, and is logged with its path all the same.
        QVERIFY(manager.OpenDevice(pathA, error));
        QVERIFY(!manager.OpenDevice(QString(), error));
        QCOMPARE(error, kNotFound);
        QCOMPARE(bus_.openHandles(), 0);
        QVERIFY(sta_handle_ == nullptr);
        QCOMPARE(run_log::lastText(), kOpened);

        // Closing twice closes the handle once.
        QVERIFY(manager.OpenDevice(pathA, error));
        QVERIFY(manager.CloseDevice());
        QVERIFY(sta_handle_ == nullptr);
        QCOMPARE(bus_.openHandles(), 0);
        QVERIFY(manager.CloseDevice());
        QCOMPARE(bus_.openHandles(), 0);
        QVERIFY(a.errors().empty() && b.errors().empty());

        // With no wallet on the bus there is no first device either.
        bus_.unplug(a);
        bus_.unplug(b);
        error.clear();
        QVERIFY(!manager.OpenDevice(error));
        QCOMPARE(error, kNotFound);

        // A wallet the user may not open: the same error for the window, and
        // what to install in the debug output.
        sim::WalletConfig denied;
        denied.path_style = sim::PathStyle::Linux;
        denied.faults.open_denied = true;
        QTest::ignoreMessage(QtDebugMsg, kPermissionHint);
        QVERIFY(!manager.OpenDevice(bus_.attachWallet(denied).paths().front(), error));
        QCOMPARE(error, kNotFound);
    }

    // The manager's end closes what it holds and shuts hidapi down.
    void destruction()
    {
        const QString path = bus_.attachWallet().paths().front();
        {
            UsbManager manager;
            QCOMPARE(bus_.initCount(), 1);
            QString error;
            QVERIFY(manager.OpenDevice(path, error));
            QCOMPARE(bus_.openHandles(), 1);
        }
        QCOMPARE(bus_.openHandles(), 0);
        QCOMPARE(bus_.initCount(), 0);
        QVERIFY(sta_handle_ == nullptr);
    }

private:
    QTemporaryDir dir_;
    sim::Bus& bus_ = sim::Bus::instance();
};

QTEST_MAIN(TestUsbManager)
#include "TestUsbManager.moc"

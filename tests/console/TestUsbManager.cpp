#include "console/UsbManager.h"
#include "sim/SimBus.h"
#include "support/RunLog.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(sim::PathStyle)
Q_DECLARE_METATYPE(sim::Mode)

// The device manager over the simulated bus. Each case builds its own manager,
// so hidapi's set-up and shut-down are part of what is tested.
class TestUsbManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void listing_data();
    void listing();
    void emptyBusListsNothing();
    void failedInitialisation();
    void relistingShowsOnlyPresentDevices();
    void openingAndClosing();
    void failedOpens_data();
    void failedOpens();
    void openingTheFirstOfTheVendor();
    void destructionReleasesEverything();

private:
    QTemporaryDir dir_;
};

void TestUsbManager::initTestCase()
{
    // The run log goes to the working directory.
    QVERIFY(dir_.isValid());
    QVERIFY(QDir::setCurrent(dir_.path()));
}

void TestUsbManager::init()
{
    sim::Bus::instance().reset();
    QVERIFY(sta_handle_ == nullptr);
}

void TestUsbManager::listing_data()
{
    QTest::addColumn<sim::PathStyle>("style");
    QTest::addColumn<sim::Mode>("mode");
    QTest::addColumn<QString>("leftOut");

    QTest::newRow("application, macOS") << sim::PathStyle::MacOS << sim::Mode::Application << "Smart@1";
    QTest::newRow("application, hidraw") << sim::PathStyle::Linux << sim::Mode::Application << "/dev/hidraw1";
    QTest::newRow("bootloader, macOS") << sim::PathStyle::MacOS << sim::Mode::Bootloader << "";
    QTest::newRow("bootloader, hidraw") << sim::PathStyle::Linux << sim::Mode::Bootloader << "";
}

// The application-mode wallet shows interface 0 only, whether its paths name
// their interfaces or not; the bootloader has one interface, always listed.
void TestUsbManager::listing()
{
    QFETCH(sim::PathStyle, style);
    QFETCH(sim::Mode, mode);
    QFETCH(QString, leftOut);

    sim::WalletConfig config;
    config.path_style = style;
    config.mode = mode;
    sim::Wallet& wallet = sim::Bus::instance().attachWallet(config);
    const std::vector<QString> paths = wallet.paths();

    UsbManager manager;
    QString error;
    QList<QString> list;
    QVERIFY(manager.GetDeviceList(error, list));
    QVERIFY(error.isEmpty());
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first(), paths.front());
    QCOMPARE(int(paths.size()), leftOut.isEmpty() ? 1 : 2);
    if (!leftOut.isEmpty()) {
        QVERIFY2(paths.back().contains(leftOut), qPrintable(paths.back()));
    }
    QCOMPARE(run_log::lastText(), QStringLiteral("搜索到的设备数：1"));
}

void TestUsbManager::emptyBusListsNothing()
{
    UsbManager manager;
    QString error;
    QList<QString> list;
    QVERIFY(!manager.GetDeviceList(error, list));
    QVERIFY(error.isEmpty());
    QVERIFY(list.isEmpty());
    QCOMPARE(run_log::lastText(), QStringLiteral("搜索到的设备数：0"));
}

void TestUsbManager::failedInitialisation()
{
    sim::Bus::instance().attachWallet();
    sim::Bus::instance().setInitFails(true);
    UsbManager manager;
    QString error;
    QList<QString> list {QStringLiteral("kept")};
    QVERIFY(!manager.GetDeviceList(error, list));
    QCOMPARE(error, QStringLiteral("hid is not inited"));
    QCOMPARE(list, QList<QString> {QStringLiteral("kept")});
}

void TestUsbManager::relistingShowsOnlyPresentDevices()
{
    sim::Wallet& first = sim::Bus::instance().attachWallet();
    sim::WalletConfig hidraw;
    hidraw.path_style = sim::PathStyle::Linux;
    sim::Wallet& second = sim::Bus::instance().attachWallet(hidraw);

    UsbManager manager;
    QString error;
    QList<QString> both;
    QVERIFY(manager.GetDeviceList(error, both));
    QCOMPARE(both, (QList<QString> {first.paths().front(), second.paths().front()}));

    sim::Bus::instance().unplug(first);
    QList<QString> after;
    QVERIFY(manager.GetDeviceList(error, after));
    QCOMPARE(after, QList<QString> {second.paths().front()});
    QCOMPARE(run_log::lastText(), QStringLiteral("搜索到的设备数：1"));
}

// One device open at a time; sta_handle_ is null or the open handle.
void TestUsbManager::openingAndClosing()
{
    sim::Wallet& a = sim::Bus::instance().attachWallet();
    sim::Wallet& b = sim::Bus::instance().attachWallet();
    const QString pathA = a.paths().front();
    const QString pathB = b.paths().front();
    sim::Bus& bus = sim::Bus::instance();
    UsbManager manager;
    QString error;

    QVERIFY(manager.OpenDevice(pathA, error));
    QVERIFY(error.isEmpty());
    QVERIFY(sta_handle_ != nullptr);
    QCOMPARE(bus.openHandles(), 1);
    QCOMPARE(run_log::lastText(), QStringLiteral("打开设备结果：") + pathA);

    // Reopening the same path leaves one handle, the new one.
    QVERIFY(manager.OpenDevice(pathA, error));
    QCOMPARE(bus.openHandles(), 1);
    QVERIFY(sta_handle_ != nullptr);

    QVERIFY(manager.OpenDevice(pathB, error));
    QCOMPARE(bus.openHandles(), 1);

    // A failed open leaves nothing open, even what was open before.
    QVERIFY(!manager.OpenDevice(QStringLiteral("/dev/hidraw99"), error));
    QCOMPARE(error, QStringLiteral("未找到设备"));
    QCOMPARE(bus.openHandles(), 0);
    QVERIFY(sta_handle_ == nullptr);

    QVERIFY(manager.OpenDevice(pathA, error));
    QVERIFY(manager.CloseDevice());
    QVERIFY(sta_handle_ == nullptr);
    QCOMPARE(bus.openHandles(), 0);
    QVERIFY(manager.CloseDevice());
    QCOMPARE(bus.openHandles(), 0);
    QVERIFY(a.errors().empty());
}

void TestUsbManager::failedOpens_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("empty path") << 0;
    QTest::newRow("unplugged device") << 1;
    QTest::newRow("no permission") << 2;
}

void TestUsbManager::failedOpens()
{
    QFETCH(int, how);
    sim::WalletConfig config;
    config.faults.open_denied = how == 2;
    sim::Wallet& wallet = sim::Bus::instance().attachWallet(config);
    const QString path = how == 0 ? QString() : wallet.paths().front();
    if (how == 1) {
        sim::Bus::instance().unplug(wallet);
    }
    UsbManager manager;
    QString error;
    QVERIFY(!manager.OpenDevice(path, error));
    QCOMPARE(error, QStringLiteral("未找到设备"));
    QVERIFY(sta_handle_ == nullptr);
    QCOMPARE(sim::Bus::instance().openHandles(), 0);
    // The attempt is logged with the path, whatever its outcome.
    QCOMPARE(run_log::lastText(), QStringLiteral("打开设备结果：") + path);
}

void TestUsbManager::openingTheFirstOfTheVendor()
{
    UsbManager manager;
    QString error;
    QVERIFY(!manager.OpenDevice(error));
    QCOMPARE(error, QStringLiteral("未找到设备"));

    sim::Bus::instance().attachWallet();
    error.clear();
    QVERIFY(manager.OpenDevice(error));
    QVERIFY(error.isEmpty());
    QCOMPARE(sim::Bus::instance().openHandles(), 1);
    // Only an open by path is remembered for the advanced window's close.
    QVERIFY(sta_handle_ == nullptr);
    QVERIFY(manager.CloseDevice());
    QCOMPARE(sim::Bus::instance().openHandles(), 0);
}

void TestUsbManager::destructionReleasesEverything()
{
    sim::Wallet& wallet = sim::Bus::instance().attachWallet();
    sim::Bus& bus = sim::Bus::instance();
    {
        UsbManager manager;
        QCOMPARE(bus.initCount(), 1);
        QString error;
        QList<QString> list;
        QVERIFY(manager.GetDeviceList(error, list));
        QVERIFY(manager.OpenDevice(wallet.paths().front(), error));
        QCOMPARE(bus.openHandles(), 1);
    }
    QCOMPARE(bus.openHandles(), 0);
    QCOMPARE(bus.initCount(), 0);
    QVERIFY(sta_handle_ == nullptr);
}

QTEST_MAIN(TestUsbManager)
#include "TestUsbManager.moc"

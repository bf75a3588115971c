#include "FirmwareServer.h"
#include "TestConfig.h"
#include "app/HomePage.h"
#include "app/UpdateStatusLine.h"
#include "net/ServerConfig.h"
#include "sim/SimBus.h"
#include "sim/SimOptions.h"
#include "support/LocalServer.h"
#include "support/MessageBoxCatcher.h"
#include "support/TempImage.h"
#include "support/WalletRuns.h"
#include "ui_HomePage.h"
#include "update/ScopedSettings.h"

#include <QtTest>
#include <QtWidgets>

namespace {

// The kind of a heard text: the step it names, "write" for the counted
// write, or the text itself.
QString kind(const QString& text)
{
    if (text.startsWith(QStringLiteral("正在写入"))) {
        return QStringLiteral("write");
    }
    if (text.startsWith(UpdateStatusLine::stepText(UpdateStep::Download))) {
        return QStringLiteral("download");
    }
    const QMap<QString, QString> steps {{UpdateStatusLine::stepText(UpdateStep::ReleaseQuery), "query"},
                                        {UpdateStatusLine::stepText(UpdateStep::Verify), "verify"},
                                        {UpdateStatusLine::stepText(UpdateStep::BootloaderEntry), "restart"},
                                        {UpdateStatusLine::stepText(UpdateStep::Erase), "prepare"},
                                        {UpdateStatusLine::stepText(UpdateStep::Crc), "check"},
                                        {UpdateStatusLine::stepText(UpdateStep::Finish), "finish"},
                                        {UpdateStatusLine::closeRefusedText(), "close refused"},
                                        {UpdateStatusLine::silentServerText(), "waiting"}};
    return steps.value(text, text);
}

} // namespace

// The main window's status line through a whole automatic update against a
// local HTTPS server and the simulated wallet.
class TestUpdateStatus : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(!serve_firmware_locally(server_).caCertificates().isEmpty());
        device_settings().wait = wait_on_bus_clock;
        QVERIFY(QDir::setCurrent(folder_.path()));
        net_settings().firmware_dir = folder_.path();
        const QByteArray text = hex::image(hex::two_segments()).join("\r\n") + "\r\n";
        server_.set_route(QStringLiteral("/firmware/fw.hex"), 200, text);
        release_ = "{\"version\": \"1.2.0\", \"url\": \"" + server_.base_url().toUtf8()
            + "/firmware/fw.hex\", \"md5\": \"" + QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex()
            + "\"}";
    }
    void cleanup()
    {
        sim::Bus::instance().reset();
        server_.set_stall(false);
        net_settings().silence_notice_ms = 5000;
        net_settings().stall_timeout_ms = 30000;
    }
    void heardInOrder_data()
    {
        QTest::addColumn<QString>("fault"); // of the wallet, or "no-release"
        QTest::addColumn<bool>("closeTried"); // at the first counted write
        QTest::addColumn<QStringList>("kinds");
        const QStringList start {"query", "download", "verify", "restart", "prepare", "write"};
        QTest::newRow("success") << "" << false << start + QStringList {"check", "finish", "更新完成，可以拔下钱包"};
        QTest::newRow("no release answer")
            << "no-release" << false << QStringList {"query", "获取固件信息失败，钱包未改动"};
        // Named long before the request gives up.
        QTest::newRow("silent server") << "silent-server" << false
                                       << QStringList {"query", "waiting", "获取固件信息失败，钱包未改动"};
        QTest::newRow("CRC check refused") << "refuse-crc=1" << false << start + QStringList {"check", "更新失败"};
        // The answer stays while the transfer goes on underneath.
        QTest::newRow("close request") << "" << true << start + QStringList {"close refused", "更新完成，可以拔下钱包"};
    }
    void heardInOrder()
    {
        QFETCH(QString, fault);
        QFETCH(bool, closeTried);
        QFETCH(QStringList, kinds);
        server_.set_route(QStringLiteral("/firmware/latest"), 200, release_, "application/json");
        sim::WalletConfig config;
        if (fault == QLatin1String("no-release")) {
            server_.remove_route(QStringLiteral("/firmware/latest"));
        } else if (fault == QLatin1String("silent-server")) {
            server_.set_stall(true);
            net_settings().silence_notice_ms = 50;
            net_settings().stall_timeout_ms = 500;
        } else if (!fault.isEmpty()) {
            QString error;
            QVERIFY2(sim::applyFault(fault, &config, &error), qPrintable(error));
        }
        sim::Wallet& wallet = sim::Bus::instance().attachWallet(config);
        MessageBoxCatcher boxes;
        HomePage page;
        QLabel* line = page.ui->lbl_status;
        // Each new text as a screen reader reads it out: the label's name.
        QStringList said;
        connect(page.findChild<UpdateStatusLine*>(), &UpdateStatusLine::said, &boxes, [&](const QString& text) {
            QCOMPARE(QAccessible::queryAccessibleInterface(line)->text(QAccessible::Name), line->text());
            said << text;
        });
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        const QPoint button = page.ui->pbtn_auto->pos();
        QStringList refused_at; // the line just after the close request, and the bar then
        connect(page.ui->progressBar, &QProgressBar::valueChanged, &boxes, [&](int value) {
            if (closeTried && refused_at.isEmpty()) {
                QVERIFY(!page.close());
                refused_at << line->text() << QString::number(value);
            }
            QCOMPARE(page.ui->pbtn_auto->pos(), button);
        });
        QTest::mouseClick(page.ui->pbtn_auto, Qt::LeftButton);

        QStringList heard;
        bool time_left = false;
        bool downloaded_kib = false;
        for (const QString& text : qAsConst(said)) {
            time_left |= text.contains(QStringLiteral("，剩余约 "));
            downloaded_kib |= text.startsWith(UpdateStatusLine::stepText(UpdateStep::Download)) && text.endsWith("KiB");
            if (heard.isEmpty() || heard.last() != kind(text)) {
                heard << kind(text);
            }
        }
        // The answer to a close request is held for a few seconds: on a slow
        // machine the steps after it may still show before the outcome.
        const int refused = heard.indexOf(QStringLiteral("close refused"));
        for (int i = heard.size() - 2; refused >= 0 && i > refused; --i) {
            if (QStringList {"write", "check", "finish"}.contains(heard[i])) {
                heard.removeAt(i);
            }
        }
        QCOMPARE(heard, kinds);
        QCOMPARE(time_left, kinds.contains(QStringLiteral("check")) && !closeTried);
        QCOMPARE(downloaded_kib, kinds.contains(QStringLiteral("write")));
        QCOMPARE(page.ui->pbtn_auto->pos(), button);
        QVERIFY(page.isVisible());
        if (closeTried) {
            QCOMPARE(refused_at.value(0), UpdateStatusLine::closeRefusedText());
            QVERIFY(refused_at.value(1).toInt() < 100);
            QCOMPARE(wallet.firmwareUpdates(), 1);
        }
    }

private:
    ScopedSettings settings_scope_;
    FirmwareServer server_;
    QTemporaryDir folder_;
    QByteArray release_;
};

QTEST_MAIN(TestUpdateStatus)
#include "TestUpdateStatus.moc"

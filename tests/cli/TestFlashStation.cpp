#include "TestConfig.h"
#include "support/TempImage.h"
#include "support/ToolRun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

// One run of `flash --all` or `--watch` against simulated wallets on Linux
// ports 1-1, 1-2, ...: its events, and what each wallet was left as.
struct StationRun
{
    ToolRun tool;
    QList<QJsonObject> events;
    QJsonArray wallets; // the simulated wallets' state, in port order

    QJsonObject summary() const { return events.isEmpty() ? QJsonObject() : events.last(); }
    // A column of the summary's wallets, joined by spaces.
    QString column(const QString& key) const
    {
        QStringList values;
        for (const QJsonValue& wallet : summary().value("wallets").toArray()) {
            const QJsonValue value = wallet.toObject().value(key);
            values << (value.isDouble() ? QString::number(value.toInt()) : value.toString());
        }
        return values.join(QLatin1Char(' '));
    }
    QJsonObject wallet(int index) const { return wallets.at(index).toObject(); }
    // The simulated wallet on Linux port "1-N"; empty for no such wallet.
    QJsonObject walletOn(const QString& port) const
    {
        const int index = port.isEmpty() ? -1 : port.mid(2).toInt() - 1;
        return index >= 0 && index < wallets.size() ? wallet(index) : QJsonObject();
    }
};

} // namespace

// Several simulated wallets updated side by side by tessaro-flash-sim: which
// were taken, what each got, the summary, the exit status of the worst, and
// the stops, each checked on every wallet's own state.
class TestFlashStation : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void all_data();
    void all();
    void watch_data();
    void watch();
    void stop_data();
    void stop();
    void table();

private:
    StationRun station(const QStringList& args);

    QTemporaryDir work_;
    QScopedPointer<TempImage> image_;
};

void TestFlashStation::initTestCase()
{
    QVERIFY(work_.isValid());
    image_.reset(new TempImage(hex::image(hex::two_segments())));
}

StationRun TestFlashStation::station(const QStringList& args)
{
    StationRun run;
    const QString state = work_.filePath(QStringLiteral("state.json"));
    QFile::remove(state);
    run.tool
        = run_tool(QStringLiteral("tessaro-flash-sim"),
                   QStringList {"flash", image_->path(), "--json", "--path-style", "linux", "--state", state} + args,
                   work_.path());
    for (const QString& line : run.tool.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        run.events << QJsonDocument::fromJson(line.toUtf8()).object();
    }
    run.wallets = QJsonDocument::fromJson(read_file(state)).object().value("wallets").toArray();
    return run;
}

void TestFlashStation::all_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("failures"); // each wallet's, in port order

    const QStringList three {"--all", "--wallets", "3"};
    QTest::newRow("every wallet verified") << three << 0 << "none none none";
    // One wallet failing at each phase: the others are verified all the same.
    QTest::newRow("opening") << three + QStringList {"--wallet-fault", "2:open-denied"} << 6
                             << "none wallet-no-permission none";
    QTest::newRow("erase") << three + QStringList {"--wallet-fault", "2:refuse-erase"} << 1
                           << "none erase-refused none";
    QTest::newRow("write") << three + QStringList {"--wallet-fault", "3:unplug-after=20"} << 1
                           << "none none write-failed";
    QTest::newRow("crc") << three + QStringList {"--wallet-fault", "1:refuse-crc=1"} << 1 << "crc-refused none none";
    // The worst decides: a touched wallet before one that could not be opened.
    QTest::newRow("two failing") << three
            + QStringList {"--wallet-fault", "1:open-denied", "--wallet-fault", "3:refuse-erase"}
                                 << 1 << "wallet-no-permission none erase-refused";
    // Restarts that take time: each thread finds its own wallet's bootloader,
    // by port, or without port and serial one restart at a time.
    QTest::newRow("restarts of 300 ms") << three + QStringList {"--fault", "reboot-ms=300"} << 0 << "none none none";
    QTest::newRow("neither port nor serial")
        << three + QStringList {"--fault", "reboot-ms=300", "--fault", "no-port", "--fault", "no-serial"} << 0
        << "none none none";
    QTest::newRow("limited by port") << three + QStringList {"--port", "1-3", "--port", "1-1"} << 0 << "none none";
    QTest::newRow("a port asked for and empty")
        << QStringList {"--all", "--wallets", "1", "--port", "1-1", "--port", "1-9"} << 3 << "none no-wallet-on-port";
    QTest::newRow("no wallet") << QStringList {"--all", "--no-wallet"} << 3 << "";
}

void TestFlashStation::all()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, failures);

    const StationRun run = station(args);
    QVERIFY2(run.tool.code == exitCode, qPrintable(run.tool.err));
    QCOMPARE(run.summary().value("event").toString(), QStringLiteral("summary"));
    QCOMPARE(run.summary().value("exit").toInt(), exitCode);
    QCOMPARE(run.column("failure"), failures);
    for (const QJsonObject& event : run.events) {
        QCOMPARE(event.value("schema").toInt(), 1);
        QVERIFY(event.contains("port"));
    }
    // Each wallet verified was written once, and no other: a wallet written
    // twice means a thread took another's bootloader. A wallet's own events
    // end as the summary says.
    int verified = 0;
    for (const QJsonValue& value : run.summary().value("wallets").toArray()) {
        const QJsonObject entry = value.toObject();
        verified += entry.value("exit").toInt() == 0 ? 1 : 0;
        const QString port = entry.value("port").toString();
        const QJsonObject wallet = run.walletOn(port);
        if (wallet.isEmpty()) {
            continue;
        }
        QCOMPARE(wallet.value("firmware_updates").toInt(), entry.value("exit").toInt() == 0 ? 1 : 0);
        QJsonObject end;
        for (const QJsonObject& event : run.events) {
            if (event.value("port").toString() == port && event.value("event").toString() == QLatin1String("end")) {
                end = event;
            }
        }
        QCOMPARE(end.value("exit").toInt(), entry.value("exit").toInt());
    }
    int updated = 0;
    for (int i = 0; i < run.wallets.size(); ++i) {
        QVERIFY(run.wallet(i).value("firmware_updates").toInt() <= 1);
        updated += run.wallet(i).value("firmware_updates").toInt();
    }
    QCOMPARE(updated, verified);
    if (failures.isEmpty()) {
        QCOMPARE(run.summary().value("failure").toString(), QStringLiteral("no-wallet"));
    }
}

void TestFlashStation::watch_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("ports"); // the wallets taken, in order
    QTest::addColumn<QString>("exits");

    QTest::newRow("plugged in one after another")
        << QStringList {"--wallets", "3", "--wallet-fault", "2:plug-in-ms=300", "--wallet-fault", "3:plug-in-ms=600",
                        "--count",   "3"}
        << "1-1 1-2 1-3"
        << "0 0 0";
    // The wallet is gone 300 ms after each restart; the one after the update
    // is not a new wallet.
    QTest::newRow("the restart after the update")
        << QStringList {"--wallets",         "2",       "--fault", "reboot-ms=300",     "--wallet-fault",
                        "2:plug-in-ms=1500", "--count", "2",       "--unplugged-after", "800"}
        << "1-1 1-2"
        << "0 0";
    QTest::newRow("a failed wallet is left alone")
        << QStringList {"--wallets", "2", "--wallet-fault", "1:refuse-erase", "--wallet-fault", "2:plug-in-ms=800",
                        "--count",   "2"}
        << "1-1 1-2"
        << "1 0";
    // At 10 ms a report the write takes a quarter of a second: pulled amid it.
    QTest::newRow("a wallet pulled during its update") << QStringList {"--wallets",      "2",
                                                                       "--link-us",      "10000",
                                                                       "--wallet-fault", "1:pull-ms=150",
                                                                       "--wallet-fault", "2:plug-in-ms=600",
                                                                       "--count",        "2"}
                                                       << "1-1 1-2"
                                                       << "1 0";
    QTest::newRow("limited by port") << QStringList {"--wallets", "3", "--port", "1-2", "--count", "1"} << "1-2"
                                     << "0";
}

void TestFlashStation::watch()
{
    QFETCH(QStringList, args);
    QFETCH(QString, ports);
    QFETCH(QString, exits);

    const StationRun run = station(QStringList {"--watch"} + args);
    QCOMPARE(run.column("port"), ports);
    QCOMPARE(run.column("exit"), exits);
    QCOMPARE(run.tool.code, exits.contains('1') ? 1 : 0);
    for (int i = 0; i < run.wallets.size(); ++i) {
        QVERIFY(run.wallet(i).value("firmware_updates").toInt() <= 1);
    }
}

void TestFlashStation::stop_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("finishing"); // the restarted wallets go on to their end
    QTest::addColumn<int>("stoppedExit"); // of a wallet the stop ended

    // Raised at the bus's 10th report, within the first wallet's write: the wallets are restarted or not, and
    // each must end as that allows.
    // At 2 ms a report, the other wallet cannot run on to its end while the
    // signal reaches the process's handler.
    const QStringList two {"--all", "--wallets", "2", "--link-us", "2000"};
    QTest::newRow("all, Ctrl-C twice before the restart")
        << two + QStringList {"--raise-at", "0:INT", "--raise-at", "0:INT"} << false << 130;
    QTest::newRow("all, Ctrl-C") << two + QStringList {"--raise-at", "10:INT"} << true << 130;
    QTest::newRow("all, Ctrl-C twice") << two + QStringList {"--raise-at", "10:INT", "--raise-at", "10:INT"} << false
                                       << 130;
    QTest::newRow("all, SIGTERM") << two + QStringList {"--raise-at", "10:TERM"} << false << 143;
    const QStringList station {"--watch",        "--wallets",         "2", "--link-us", "2000",
                               "--wallet-fault", "2:plug-in-ms=60000"};
    QTest::newRow("watch, Ctrl-C") << station + QStringList {"--raise-at", "10:INT"} << true << 130;
    QTest::newRow("watch, Ctrl-C twice") << station + QStringList {"--raise-at", "10:INT", "--raise-at", "10:INT"}
                                         << false << 130;
}

void TestFlashStation::stop()
{
    QFETCH(QStringList, args);
    QFETCH(bool, finishing);
    QFETCH(int, stoppedExit);

    const StationRun run = station(args);
    QCOMPARE(run.summary().value("event").toString(), QStringLiteral("summary"));
    QCOMPARE(run.tool.code, run.summary().value("exit").toInt());
    QVector<int> exits;
    for (const QJsonValue& value : run.summary().value("wallets").toArray()) {
        const QJsonObject entry = value.toObject();
        const int exit = entry.value("exit").toInt();
        const QJsonObject wallet = run.walletOn(entry.value("port").toString());
        exits << exit;
        // Never a finish after a stop: a wallet is verified, or it waits in its
        // bootloader, or it was never touched.
        if (exit == 0) {
            QVERIFY(finishing);
            QCOMPARE(wallet.value("firmware_updates").toInt(), 1);
        } else {
            QCOMPARE(exit, stoppedExit);
            QCOMPARE(wallet.value("firmware_updates").toInt(), 0);
            QVERIFY(wallet.value("errors").toArray().isEmpty());
            QCOMPARE(wallet.value("mode").toString(),
                     wallet.value("reports").toInt() == 0 ? "application" : "bootloader");
            QCOMPARE(entry.value("touched").toBool(), wallet.value("reports").toInt() > 0);
            // After a first Ctrl-C only a wallet not yet restarted stops.
            QVERIFY(!finishing || wallet.value("reports").toInt() == 0);
        }
    }
    QVERIFY(!exits.isEmpty());
    QCOMPARE(run.tool.code, exits.contains(stoppedExit) ? stoppedExit : 0);
}

// Without --json: a line per wallet as it ends, a table, and a last line that
// counts the wallets verified.
void TestFlashStation::table()
{
    const ToolRun run = run_tool(QStringLiteral("tessaro-flash-sim"),
                                 {"flash", image_->path(), "--all", "--wallets", "2", "--path-style", "linux",
                                  "--wallet-fault", "2:refuse-erase"},
                                 work_.path());
    QCOMPARE(run.code, 1);
    QVERIFY(run.out.contains(QStringLiteral("every wallet taken will be erased and rewritten")));
    QVERIFY(run.out.contains(QRegularExpression(QStringLiteral("\n1-1: 下载成功"))));
    QVERIFY(run.out.contains(QRegularExpression(QStringLiteral("\n1-2 +TS0000002 +failure +1 .*erase-refused\n"))));
    QVERIFY2(run.err.endsWith(QStringLiteral("1 of 2 wallets verified; exit status 1: a failure after anything was "
                                             "sent to a wallet; every step is in the run log ./")
                              + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".log\n")),
             qPrintable(run.err));
    // The run log keeps its lines, each followed by its wallet's port.
    const QString log = QString::fromUtf8(
        read_file(work_.filePath(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".log"))));
    QVERIFY(log.contains(QStringLiteral("    Send 程序下载成功\t1-1\n")));
    QVERIFY(log.contains(QStringLiteral("    Send 程序擦除失败\t1-2\n")));
}

QTEST_GUILESS_MAIN(TestFlashStation)
#include "TestFlashStation.moc"

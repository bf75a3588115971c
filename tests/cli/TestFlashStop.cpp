#include "FirmwareServer.h"
#include "TestConfig.h"
#include "support/TempImage.h"
#include "support/ToolRun.h"

#include <QCryptographicHash>
#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

#include <csignal>
#include <signal.h>

namespace {

// Command codes as they stand on the wire.
constexpr unsigned char kWrite = 0xF1;
constexpr unsigned char kCheckCrc = 0xF8;
constexpr unsigned char kFinish = 0xC2;
constexpr int kReportSize = 65;

// One command of the trace: its code and the reports it took.
struct Command
{
    unsigned char code = 0;
    int first_report = 0; // from 1, as the sim counts them
    int reports = 0;
    bool whole = false;
};

// The reports a payload of `length` bytes takes: 56 in the first, 58 in each
// continuation.
int reports_for(int length)
{
    return length <= 56 ? 1 : 1 + (length - 56 + 57) / 58;
}

// The trace cut into commands; a command is whole when every report of its
// payload came, in sequence, before the next command began.
QVector<Command> commands_of(const QByteArray& trace)
{
    QVector<Command> commands;
    for (int i = 0; i + kReportSize <= trace.size(); i += kReportSize) {
        const auto* report = reinterpret_cast<const unsigned char*>(trace.constData() + i);
        const int sequence = report[5];
        if (sequence == 0) {
            Command command;
            command.code = report[3];
            command.first_report = i / kReportSize + 1;
            command.reports = 1;
            command.whole = reports_for(report[7]) == 1;
            commands << command;
            continue;
        }
        if (commands.isEmpty() || commands.last().code != report[3] || commands.last().reports != sequence) {
            commands << Command(); // a continuation out of place: never whole
            continue;
        }
        Command& command = commands.last();
        ++command.reports;
        const auto* first
            = reinterpret_cast<const unsigned char*>(trace.constData() + (command.first_report - 1) * kReportSize);
        command.whole = command.reports == reports_for(first[7]);
    }
    return commands;
}

QJsonObject last_event(const QString& out)
{
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QJsonObject() : QJsonDocument::fromJson(lines.last().toUtf8()).object();
}

} // namespace

// Ctrl-C and SIGTERM against `tessaro-flash-sim`, landed by the simulated bus
// at an exact report of the update, so nothing depends on timing: what the
// wallet got (the trace), what it was left as (its state), the last event
// and the exit status.
class TestFlashStop : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void flash_data();
    void flash();
    void updateDuringReleaseQuery_data();
    void updateDuringReleaseQuery();

private:
    FirmwareServer server_;
    QTemporaryDir work_;
    QScopedPointer<TempImage> image_;
    // Where the phases lie in a whole update of the image.
    int mid_write_ = 0; // the second report of the last full data block
    int first_crc_ = 0;
    int segments_ = 0;
};

void TestFlashStop::initTestCase()
{
    QVERIFY(work_.isValid());
    // CRLF line ends, as the release files have them.
    image_.reset(new TempImage(hex::image(hex::two_segments()), "\r\n"));
    const QString trace = work_.filePath(QStringLiteral("whole.bin"));
    const ToolRun run
        = run_tool(QStringLiteral("tessaro-flash-sim"), {"flash", image_->path(), "--trace", trace}, work_.path());
    QCOMPARE(run.code, 0);
    const QVector<Command> commands = commands_of(read_file(trace));
    for (const Command& command : commands) {
        // The last full block of five reports: blocks come after it.
        if (command.code == kWrite && command.reports == 5) {
            mid_write_ = command.first_report + 1;
        }
        if (command.code == kCheckCrc) {
            first_crc_ = first_crc_ == 0 ? command.first_report : first_crc_;
            ++segments_;
        }
    }
    QVERIFY(mid_write_ > 0 && first_crc_ > mid_write_);
    QCOMPARE(segments_, 2);

    // The same image as the current release, so `update` sends the same reports.
    const QString tls = QStringLiteral(TESSARO_TEST_DATA_DIR "/tls/");
    QVERIFY(server_.set_certificate_files(tls + "server.crt", tls + "server.key"));
    QVERIFY(server_.listen_local());
    const QByteArray body = read_file(image_->path());
    const QByteArray digest = QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex();
    server_.set_route(QStringLiteral("/firmware/stop-test-fw.hex"), 200, body);
    server_.set_route(QStringLiteral("/firmware/latest"), 200,
                      "{\"version\":\"1\",\"url\":\"" + server_.base_url().toUtf8()
                          + "/firmware/stop-test-fw.hex\",\"md5\":\"" + digest + "\"}");
}

void TestFlashStop::cleanup()
{
    // A stopped update leaves its download beside the program, as it should.
    QFile::remove(QStringLiteral(TESSARO_FLASH_SIM_DIR "/stop-test-fw.hex"));
}

void TestFlashStop::flash_data()
{
    QTest::addColumn<QString>("command"); // flash or update
    QTest::addColumn<QString>("phase"); // where the signals land
    QTest::addColumn<QStringList>("raised"); // there, in this order
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("failure"); // in the end event; empty: success
    QTest::addColumn<unsigned char>("lastCommand"); // 0: nothing sent

    const QStringList once {"INT"};
    const QStringList twice {"INT", "INT"};
    const QStringList term {"TERM"};
    // Before the restart any stop ends the run with nothing sent.
    QTest::newRow("before restart, Ctrl-C") << "flash"
                                            << "open" << once << 130 << "interrupted" << (unsigned char)0;
    QTest::newRow("before restart, Ctrl-C twice") << "flash"
                                                  << "open" << twice << 130 << "interrupted" << (unsigned char)0;
    QTest::newRow("before restart, SIGTERM") << "flash"
                                             << "open" << term << 143 << "terminated" << (unsigned char)0;
    // After it, one Ctrl-C lets the update go on to its end.
    QTest::newRow("write, Ctrl-C") << "flash"
                                   << "write" << once << 0 << "" << kFinish;
    QTest::newRow("write, Ctrl-C twice") << "flash"
                                         << "write" << twice << 130 << "interrupted" << kWrite;
    QTest::newRow("write, SIGTERM") << "flash"
                                    << "write" << term << 143 << "terminated" << kWrite;
    QTest::newRow("write, Ctrl-C then SIGTERM")
        << "flash"
        << "write" << QStringList {"INT", "TERM"} << 143 << "terminated" << kWrite;
    QTest::newRow("crc, Ctrl-C") << "flash"
                                 << "crc" << once << 0 << "" << kFinish;
    QTest::newRow("crc, Ctrl-C twice") << "flash"
                                       << "crc" << twice << 130 << "interrupted" << kCheckCrc;
    QTest::newRow("crc, SIGTERM") << "flash"
                                  << "crc" << term << 143 << "terminated" << kCheckCrc;
    // The automatic update after its restart, as tessaro-flash update runs it.
    QTest::newRow("update, write, Ctrl-C") << "update"
                                           << "write" << once << 0 << "" << kFinish;
    QTest::newRow("update, write, Ctrl-C twice") << "update"
                                                 << "write" << twice << 130 << "interrupted" << kWrite;
    QTest::newRow("update, crc, SIGTERM") << "update"
                                          << "crc" << term << 143 << "terminated" << kCheckCrc;
}

void TestFlashStop::flash()
{
    QFETCH(QString, command);
    QFETCH(QString, phase);
    QFETCH(QStringList, raised);
    QFETCH(int, exitCode);
    QFETCH(QString, failure);
    QFETCH(unsigned char, lastCommand);

    const int first = phase == QLatin1String("open") ? 0 : phase == QLatin1String("write") ? mid_write_ : first_crc_;
    const bool flash = command == QLatin1String("flash");
    QStringList args = flash ? QStringList {"flash", image_->path()}
                             : QStringList {"update", "--server", server_.base_url(), "--ca",
                                            QStringLiteral(TESSARO_TEST_DATA_DIR "/tls/ca.crt")};
    args << "--json"
         << "--trace" << work_.filePath("trace.bin") << "--state" << work_.filePath("state.json");
    // All at one report: a second one later could come after the stop.
    for (const QString& signal : raised) {
        args << "--raise-at" << QStringLiteral("%1:%2").arg(first).arg(signal);
    }
    const QString log_file = work_.filePath(QDate::currentDate().toString("yyyyMMdd") + ".log");
    QFile::remove(log_file);
    const ToolRun run = run_tool(QStringLiteral("tessaro-flash-sim"), args, work_.path());
    QVERIFY2(run.code == exitCode, qPrintable(run.err));

    // The operator is told what the stop does before the end.
    QString told;
    for (const QString& line : run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QJsonObject event = QJsonDocument::fromJson(line.toUtf8()).object();
        // Every event names the wallet's port, the one the simulated wallet sits on.
        QCOMPARE(event.value("port").toString(), QStringLiteral("0x14100000"));
        if (event.value("event").toString() == QLatin1String("stop")) {
            told = event.value("level").toString();
        }
    }
    QCOMPARE(told, raised == QStringList {"INT"} ? "no-new-wallets" : "block-boundary");
    const QJsonObject end = last_event(run.out);
    QCOMPARE(end.value("event").toString(), QStringLiteral("end"));
    QCOMPARE(end.value("exit").toInt(), exitCode);
    QCOMPARE(end.value("failure").toString(), failure);

    // Every command went out whole, and a finish only after a whole update.
    const QVector<Command> commands = commands_of(read_file(work_.filePath("trace.bin")));
    for (const Command& command : commands) {
        QVERIFY2(command.whole, qPrintable(QStringLiteral("report %1").arg(command.first_report)));
        QVERIFY(command.code != kFinish || exitCode == 0);
    }
    QCOMPARE(commands.isEmpty() ? (unsigned char)0 : commands.last().code, lastCommand);
    if (lastCommand == kCheckCrc) {
        QCOMPARE(commands.last().first_report, first_crc_); // the next check did not go out
    }

    const QJsonObject wallet = QJsonDocument::fromJson(read_file(work_.filePath("state.json")))
                                   .object()
                                   .value("wallets")
                                   .toArray()
                                   .first()
                                   .toObject();
    const bool restarted = lastCommand != 0;
    const bool done = exitCode == 0;
    QCOMPARE(wallet.value("mode").toString(), restarted && !done ? "bootloader" : "application");
    QCOMPARE(wallet.value("firmware_updates").toInt(), done ? 1 : 0);
    QCOMPARE(wallet.value("errors").toArray().size(), 0);

    const QString reason = end.value("reason").toString();
    QVERIFY2(done || reason.contains(restarted ? "waits in its bootloader" : "the wallet was not touched"),
             qPrintable(reason));
    // Only the manual download keeps a run log.
    if (!done && flash) {
        const QStringList log_lines = QString::fromUtf8(read_file(log_file)).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(!log_lines.isEmpty() && log_lines.last().endsWith(QStringLiteral("Send 下载被中断")),
                 qPrintable(log_lines.join('\n')));
    }
}

void TestFlashStop::updateDuringReleaseQuery_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("Ctrl-C") << int(SIGINT) << 130;
    QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
}

// A server that takes the connection and never answers: the stop ends the
// wait at once, with nothing sent to the wallet.
void TestFlashStop::updateDuringReleaseQuery()
{
    QFETCH(int, signal);
    QFETCH(int, exitCode);
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    QSignalSpy connected(&silent, &QTcpServer::newConnection);
    QProcess tool;
    tool.start(QStringLiteral(TESSARO_FLASH_SIM),
               {"update", "--server", QStringLiteral("https://127.0.0.1:%1").arg(silent.serverPort()), "--json",
                "--trace", work_.filePath("update.bin")});
    QVERIFY(connected.wait(20000));
    ::kill(static_cast<pid_t>(tool.processId()), signal);
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), exitCode);
    const QJsonObject end = last_event(QString::fromUtf8(tool.readAllStandardOutput()));
    QCOMPARE(end.value("exit").toInt(), exitCode);
    QVERIFY2(end.value("reason").toString().contains("during the release query"),
             qPrintable(end.value("reason").toString()));
    QCOMPARE(read_file(work_.filePath("update.bin")).size(), 0);
}

QTEST_MAIN(TestFlashStop)
#include "TestFlashStop.moc"

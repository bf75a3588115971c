#include "TestConfig.h"
#include "support/TempImage.h"
#include "support/ToolRun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <unistd.h>

namespace {

const QString kTwoSegments = QStringLiteral(TESSARO_TEST_DATA_DIR "/srec-two-segments-crlf.hex");
const QString kFlash = QStringLiteral("tessaro-flash");
const QString kSim = QStringLiteral("tessaro-flash-sim");

// The object printed with --json; empty when the output is no JSON object.
QJsonObject json_of(const ToolRun& run)
{
    return QJsonDocument::fromJson(run.out.toUtf8()).object();
}

} // namespace

// tessaro-flash run as its users run it: a separate process, real files.
class TestFlashInfo : public QObject
{
    Q_OBJECT
private slots:
    void exitCodes_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::newRow("help") << kFlash << QStringList {"--help"} << 0;
        QTest::newRow("version") << kFlash << QStringList {"--version"} << 0;
        QTest::newRow("no command") << kFlash << QStringList {} << 2;
        QTest::newRow("unknown command") << kFlash << QStringList {"frobnicate"} << 2;
        QTest::newRow("info without file") << kFlash << QStringList {"info"} << 2;
        QTest::newRow("info with two files") << kFlash << QStringList {"info", kTwoSegments, kTwoSegments} << 2;
        QTest::newRow("unknown option") << kFlash << QStringList {"info", "--bogus", kTwoSegments} << 2;
        QTest::newRow("command help") << kFlash << QStringList {"flash", "--help"} << 0;
        QTest::newRow("an option the command does not take")
            << kFlash << QStringList {"devices", "--server", "https://fw.example"} << 2;
        QTest::newRow("a switch the command does not take") << kFlash << QStringList {"info", "-v", kTwoSegments} << 2;
        QTest::newRow("update with an argument") << kFlash << QStringList {"update", kTwoSegments} << 2;
        QTest::newRow("release query over http")
            << kFlash << QStringList {"update", "--server", "http://fw.example"} << 2;
        QTest::newRow("release query without a scheme")
            << kFlash << QStringList {"update", "--server", "fw.example"} << 2;
        // --all and --watch take every wallet: naming one by path, several
        // ports without them, or a count without a station are mistakes.
        QTest::newRow("all with a device")
            << kFlash << QStringList {"flash", kTwoSegments, "--all", "--device", "/dev/hidraw0"} << 2;
        QTest::newRow("two ports without all")
            << kFlash << QStringList {"flash", kTwoSegments, "--port", "1-1", "--port", "1-2"} << 2;
        QTest::newRow("count without watch")
            << kFlash << QStringList {"flash", kTwoSegments, "--all", "--count", "2"} << 2;
        QTest::newRow("count of none") << kFlash << QStringList {"flash", kTwoSegments, "--watch", "--count", "0"} << 2;
        QTest::newRow("missing file") << kFlash << QStringList {"info", "/nonexistent/x.hex"} << 2;
        QTest::newRow("the product knows no simulation options")
            << kFlash << QStringList {"--fault", "no-crc-reply", "info", kTwoSegments} << 2;
        QTest::newRow("unknown fault") << kSim << QStringList {"--fault", "melt-down", "info", kTwoSegments} << 2;
    }
    void exitCodes()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        QFETCH(int, code);
        const ToolRun r = run_tool(tool, args);
        QCOMPARE(r.code, code);
        QCOMPARE(r.err.isEmpty(), code == 0);
    }

    void validImage()
    {
        const ToolRun text = run_tool(kFlash, {"info", kTwoSegments});
        QCOMPARE(text.code, 0);
        QVERIFY2(text.out.contains("valid image"), qPrintable(text.out));
        QVERIFY(text.out.contains("2 segment(s), 49416 data bytes in 3089 data records"));
        QVERIFY(text.out.contains(QRegularExpression("\\n0\\s+0x08000000\\s+49152\\s+3072\\s+0x9946\\n")));
        QVERIFY(text.out.contains(QRegularExpression("\\n1\\s+0x08010000\\s+264\\s+17\\s+0x20F6\\n")));

        const ToolRun json = run_tool(kFlash, {"info", "--json", kTwoSegments});
        QCOMPARE(json.code, 0);
        const QJsonObject root = json_of(json);
        QCOMPARE(root["file"].toString(), kTwoSegments);
        QCOMPARE(root["valid"].toBool(), true);
        QVERIFY(root["error"].isNull());
        const QJsonArray segments = root["segments"].toArray();
        QCOMPARE(segments.size(), 2);
        const QJsonObject first {
            {"index", 0}, {"base", "0x08000000"}, {"size", 49152}, {"lines", 3072}, {"crc", "0x9946"}};
        QCOMPARE(segments[0].toObject(), first);
        QCOMPARE(segments[1].toObject()["crc"].toString(), QStringLiteral("0x20F6"));
    }

    void refusedImageStillShowsItsTable()
    {
        QList<QByteArray> lines = hex::image({{0x0800, 0x4000, hex::pattern(40)}});
        lines[2] = lines[2].left(lines[2].size() - 2) + "00"; // break the second data record's checksum
        TempImage image(lines);
        const ToolRun text = run_tool(kFlash, {"info", image.path()});
        QCOMPARE(text.code, 1);
        QVERIFY2(text.err.contains(
                     QRegularExpression("line 3: record checksum is 0x00, the record's bytes need 0x[0-9A-F]{2}")),
                 qPrintable(text.err));
        QVERIFY(text.out.contains("refused: line 3:"));
        QVERIFY(text.out.contains(QRegularExpression("\\n0\\s+0x08000000\\s+40\\s+3\\s+0x")));

        const ToolRun json = run_tool(kFlash, {"info", "--json", image.path()});
        QCOMPARE(json.code, 1);
        const QJsonObject root = json_of(json);
        QCOMPARE(root["valid"].toBool(), false);
        QVERIFY(root["error"].toString().startsWith("line 3: record checksum"));
        QCOMPARE(root["segments"].toArray().size(), 1);
    }

    // A file that cannot be opened is named with the system's reason.
    void unopenableFileKeepsTheSystemsReason_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("code");
        for (const QString command : {"info", "flash"}) {
            const int code = command == "info" ? 2 : 4;
            const auto row = [&](const char* what, const char* reason) {
                QTest::addRow("%s, %s", qPrintable(command), what) << command << what << reason << code;
            };
            row("missing", "No such file or directory");
            row("folder", "file to open is a directory");
            row("unreadable", "Permission denied");
        }
    }
    void unopenableFileKeepsTheSystemsReason()
    {
        QFETCH(QString, command);
        QFETCH(QString, what);
        QFETCH(QString, reason);
        QFETCH(int, code);
        QTemporaryDir dir;
        QString file = dir.filePath("fw.hex");
        if (what == "folder") {
            QVERIFY(QDir(dir.path()).mkdir("fw.hex"));
        } else if (what == "unreadable") {
            if (geteuid() == 0) {
                QSKIP("root reads a file whatever its mode");
            }
            QVERIFY(QFile::copy(kTwoSegments, file));
            QVERIFY(QFile::setPermissions(file, QFileDevice::WriteOwner));
        }
        const ToolRun r = run_tool(kFlash, {command, file});
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.contains(QStringLiteral("%1: %2").arg(file, reason)), qPrintable(r.err));
    }

    void simBuildTakesItsOptions()
    {
        QTemporaryDir dir;
        const QString trace = dir.filePath("trace.bin");
        const ToolRun r = run_tool(kSim,
                                   {"--path-style", "linux", "--link-us", "0", "--fault", "reboot-ms=5", "--trace",
                                    trace, "info", kTwoSegments});
        QCOMPARE(r.code, 0);
        QVERIFY(QFile::exists(trace));
    }
};

QTEST_GUILESS_MAIN(TestFlashInfo)
#include "TestFlashInfo.moc"

#include "TestConfig.h"
#include "support/TempImage.h"
#include "support/ToolRun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

// tessaro-flash run as its users run it: a separate process, real files.
class TestFlashInfo : public QObject
{
    Q_OBJECT
private slots:
    void exitCodes_data();
    void exitCodes();
    void table();
    void json();
    void refusedImageStillShowsItsTable();
    void simBuildTakesItsOptions();

private:
    static ToolRun run(const QStringList& args, const QString& tool = QStringLiteral("tessaro-flash"))
    {
        return run_tool(tool, args);
    }
};

namespace {

const QString kTwoSegments = QStringLiteral(TESSARO_TEST_DATA_DIR "/srec-two-segments-crlf.hex");

} // namespace

void TestFlashInfo::exitCodes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::newRow("valid image") << QStringList {"info", kTwoSegments} << 0;
    QTest::newRow("help") << QStringList {"--help"} << 0;
    QTest::newRow("version") << QStringList {"--version"} << 0;
    QTest::newRow("no command") << QStringList {} << 2;
    QTest::newRow("unknown command") << QStringList {"frobnicate"} << 2;
    QTest::newRow("info without file") << QStringList {"info"} << 2;
    QTest::newRow("info with two files") << QStringList {"info", kTwoSegments, kTwoSegments} << 2;
    QTest::newRow("unknown option") << QStringList {"info", "--bogus", kTwoSegments} << 2;
    QTest::newRow("missing file") << QStringList {"info", "/nonexistent/x.hex"} << 2;
}

void TestFlashInfo::exitCodes()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    const ToolRun r = run(args);
    QCOMPARE(r.code, code);
    if (code == 2) {
        QVERIFY(!r.err.isEmpty());
    }
}

void TestFlashInfo::table()
{
    const ToolRun r = run({"info", kTwoSegments});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains("valid image"), qPrintable(r.out));
    QVERIFY(r.out.contains("2 segment(s), 49416 data bytes in 3089 data records"));
    QVERIFY(r.out.contains(QRegularExpression("\\n0\\s+0x08000000\\s+49152\\s+3072\\s+0x9946\\n")));
    QVERIFY(r.out.contains(QRegularExpression("\\n1\\s+0x08010000\\s+264\\s+17\\s+0x20F6\\n")));
}

void TestFlashInfo::json()
{
    const ToolRun r = run({"info", "--json", kTwoSegments});
    QCOMPARE(r.code, 0);
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(r.out.toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(root["file"].toString(), kTwoSegments);
    QCOMPARE(root["valid"].toBool(), true);
    QVERIFY(root["error"].isNull());
    const QJsonArray segments = root["segments"].toArray();
    QCOMPARE(segments.size(), 2);
    QCOMPARE(segments[0].toObject(),
             (QJsonObject {{"index", 0}, {"base", "0x08000000"}, {"size", 49152}, {"lines", 3072}, {"crc", "0x9946"}}));
    QCOMPARE(segments[1].toObject()["crc"].toString(), QStringLiteral("0x20F6"));
}

void TestFlashInfo::refusedImageStillShowsItsTable()
{
    QList<QByteArray> lines = hex::image({{0x0800, 0x4000, hex::pattern(40)}});
    lines[2] = lines[2].left(lines[2].size() - 2) + "00"; // break the second data record's checksum
    TempImage image(lines);
    const ToolRun text = run({"info", image.path()});
    QCOMPARE(text.code, 1);
    QVERIFY2(
        text.err.contains(QRegularExpression("line 3: record checksum is 0x00, the record's bytes need 0x[0-9A-F]{2}")),
        qPrintable(text.err));
    QVERIFY(text.out.contains("refused: line 3:"));
    QVERIFY(text.out.contains(QRegularExpression("\\n0\\s+0x08000000\\s+40\\s+3\\s+0x")));

    const ToolRun json = run({"info", "--json", image.path()});
    QCOMPARE(json.code, 1);
    const QJsonObject root = QJsonDocument::fromJson(json.out.toUtf8()).object();
    QCOMPARE(root["valid"].toBool(), false);
    QVERIFY(root["error"].toString().startsWith("line 3: record checksum"));
    QCOMPARE(root["segments"].toArray().size(), 1);
}

void TestFlashInfo::simBuildTakesItsOptions()
{
    QTemporaryDir dir;
    const QString trace = dir.filePath("trace.bin");
    const ToolRun ok = run(
        {"--path-style", "linux", "--link-us", "0", "--fault", "reboot-ms=5", "--trace", trace, "info", kTwoSegments},
        QStringLiteral("tessaro-flash-sim"));
    QCOMPARE(ok.code, 0);
    QVERIFY(QFile::exists(trace));
    const ToolRun bad = run({"--fault", "melt-down", "info", kTwoSegments}, QStringLiteral("tessaro-flash-sim"));
    QCOMPARE(bad.code, 2);
    QVERIFY(!bad.err.isEmpty());
    const ToolRun real = run({"--fault", "no-crc-reply", "info", kTwoSegments});
    QCOMPARE(real.code, 2); // the product knows no simulation options
}

QTEST_GUILESS_MAIN(TestFlashInfo)
#include "TestFlashInfo.moc"

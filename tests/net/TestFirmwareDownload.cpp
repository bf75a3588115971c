#include "NetFixture.h"
#include "TestConfig.h"
#include "log/Settings.h"
#include "net/FirmwareDownload.h"
#include "net/FirmwareGlobals.h"
#include "net/ServerConfig.h"
#include "net/TestNet.h"
#include "support/MessageBoxCatcher.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray read_file(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray md5_hex(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
}

QByteArray crlf_to_lf(QByteArray data)
{
    return data.replace("\r\n", "\n");
}

} // namespace

class TestFirmwareDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(use_certificate(server_, "server"));
        QVERIFY(server_.listen_local());
        settings().server_base = normalized_base(server_.base_url());
        QString error;
        QVERIFY2(add_trusted_ca_file(tls_file("ca.crt"), &error), qPrintable(error));
        settings().stall_timeout_ms = 10000; // generous: sanitizer builds on a busy machine are slow
        image_ = read_file(TESSARO_TEST_DATA_DIR "/objcopy-one-segment-crlf.hex");
        QVERIFY(image_.endsWith("\r\n"));
    }
    void init()
    {
        dir_.reset(new QTemporaryDir);
        QVERIFY(dir_->isValid());
        settings().firmware_dir = dir_->path();
        server_.set_stall(false);
    }
    void cleanupTestCase() { API_DATA.clear(); }

    void download_data()
    {
        QTest::addColumn<QByteArray>("body"); // served at /firmware/fw.hex
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("answer"); // %1 base address, %2 digest of `stored`, %3 in capitals
        QTest::addColumn<QByteArray>("stored"); // expected firmware file, empty: none written
        QTest::addColumn<QStringList>("boxes");

        const QString json = "{\"version\":\"1.2\",\"url\":\"%1/firmware/fw.hex\",\"md5\":\"%2\"}";
        const QString spread = "{\n  \"version\" : \"1.2\" ,\n\n  \"url\" : \"%1/firmware/fw.hex\",\n"
                               "  \"md5\" : \"%2\"}\n";
        const QByteArray lf = crlf_to_lf(image_);
        QByteArray no_final_lf = image_;
        no_final_lf.chop(2);
        QByteArray blank = image_;
        blank.insert(blank.indexOf("\r\n") + 2, "\r\n");
        QByteArray zero = image_;
        zero.insert(zero.indexOf("\r\n"), QByteArray("\0junk", 5));
        QByteArray spaced = image_;
        spaced.replace("\r\n", "  \r\n");
        const QByteArray bad_image = "not a hex image\r\n";

        QTest::newRow("good answer") << image_ << 200 << json << image_ << QStringList();
        QTest::newRow("answer spread over lines") << image_ << 200 << spread << image_ << QStringList();
        QTest::newRow("LF body stored as CR LF") << lf << 200 << json << image_ << QStringList();
        QTest::newRow("no final line end") << no_final_lf << 200 << json << image_ << QStringList();
        QTest::newRow("trailing blanks dropped") << spaced << 200 << json << image_ << QStringList();
        QTest::newRow("zero byte cuts the line") << zero << 200 << json << image_ << QStringList();
        QTest::newRow("blank line kept, image refused")
            << blank << 200 << json << blank << QStringList {"固件文件格式错误"};
        QTest::newRow("refused image stays")
            << bad_image << 200 << json << bad_image << QStringList {"固件文件格式错误"};
        QTest::newRow("404") << QByteArray("<h1>404</h1>") << 404 << json << QByteArray()
                             << QStringList {"网络连接出错"};
        QTest::newRow("capital digest") << image_ << 200 << QString(json).replace("%2", "%3") << image_
                                        << QStringList {"文件下载错误"};
        QTest::newRow("digest mismatch leaves file")
            << image_ << 200 << QString(json).replace("%2", "0123456789abcdef0123456789abcdef") << image_
            << QStringList {"文件下载错误"};
    }
    void download()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, answer);
        QFETCH(QByteArray, stored);
        QFETCH(QStringList, boxes);

        server_.set_route("/firmware/fw.hex", status, body);
        const QByteArray digest = md5_hex(stored);
        API_DATA = QString(answer)
                       .replace("%1", server_.base_url())
                       .replace("%2", QString::fromLatin1(digest))
                       .replace("%3", QString::fromLatin1(digest.toUpper()));
        MessageBoxCatcher catcher;
        const QString path = url_download_file();
        QCOMPARE(catcher.texts(), boxes);
        const QString firmware = dir_->filePath("fw.hex");
        QCOMPARE(path, boxes.isEmpty() ? firmware : QString());
        QCOMPARE(read_file(firmware), stored);
        QVERIFY(!QFile::exists(dir_->filePath(FILE_NAME)));
    }

    void refusedAnswer_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("box");
        QTest::newRow("empty answer") << QString() << "获取固件信息失败";
        QTest::newRow("html page") << "<html><head><title>502 Bad Gateway</title></head></html>"
                                   << "获取固件信息失败";
        QTest::newRow("truncated") << "{\"version\":\"1.2\",\"url\":\"https"
                                   << "获取固件信息失败";
        QTest::newRow("no digest value") << "{\"version\":\"1.2\",\"url\":\"%1/firmware/fw.hex\",\"md5"
                                         << "获取固件信息失败";
        QTest::newRow("dot dot") << "{\"v\":\"1\",\"url\":\"%1/firmware/..\",\"md5\":\"ab\"}"
                                 << "文件下载错误";
        QTest::newRow("dot") << "{\"v\":\"1\",\"url\":\"%1/firmware/.\",\"md5\":\"ab\"}"
                             << "文件下载错误";
        QTest::newRow("empty name") << "{\"v\":\"1\",\"url\":\"%1/firmware/\",\"md5\":\"ab\"}"
                                    << "文件下载错误";
        QTest::newRow("no second segment") << "{\"v\":\"1\",\"url\":\"%1/fw.hex\",\"md5\":\"ab\"}"
                                           << "文件下载错误";
        QTest::newRow("staging name") << "{\"v\":\"1\",\"url\":\"%1/firmware/hex.txt\",\"md5\":\"ab\"}"
                                      << "文件下载错误";
        QTest::newRow("backslash") << "{\"v\":\"1\",\"url\":\"%1/firmware/a\\\\b.hex\",\"md5\":\"ab\"}"
                                   << "文件下载错误";
        QTest::newRow("control char") << "{\"v\":\"1\",\"url\":\"%1/firmware/a\x01.hex\",\"md5\":\"ab\"}"
                                      << "文件下载错误";
    }
    void refusedAnswer()
    {
        QFETCH(QString, answer);
        QFETCH(QString, box);
        const int before = server_.request_count();
        API_DATA = QString(answer).replace("%1", server_.base_url());
        MessageBoxCatcher catcher;
        QCOMPARE(url_download_file(), QString());
        QCOMPARE(catcher.texts(), QStringList {box});
        QCOMPARE(server_.request_count(), before);
        QCOMPARE(QDir(dir_->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    }

    // Without a port the address is cut exactly as it always was.
    void addressWithoutPort()
    {
        API_DATA = "{\"version\":\"1.2\",\"url\":\"https://127.0.0.1/firmware/fw.hex\",\"md5\":\"ab\"}";
        MessageBoxCatcher catcher;
        QCOMPARE(url_download_file(), QString());
        QCOMPARE(catcher.texts(), QStringList {"网络连接出错"});
    }

    // The kernel refuses a TCP connection to a multicast address at once
    // ("Network unreachable"), which Qt reports as UnknownNetworkError: the
    // download is tried again three times, then given up.
    void unknownNetworkErrorRetriedThreeTimes()
    {
        API_DATA = "{\"version\":\"1.2\",\"url\":\"https://224.0.0.1/firmware/fw.hex\",\"md5\":\"ab\"}";
        MessageBoxCatcher catcher;
        QCOMPARE(url_download_file(), QString());
        const QString retry = QStringLiteral("未知网络错误,尝试二次联网");
        QCOMPARE(catcher.texts(), (QStringList {retry, retry, retry, QStringLiteral("网络连接出错")}));
        QVERIFY(!QFile::exists(dir_->filePath("fw.hex")));
    }

    void stalledDownload()
    {
        server_.set_route("/firmware/fw.hex", 200, image_);
        server_.set_stall(true);
        ScopedSettings scope;
        settings().stall_timeout_ms = 200;
        API_DATA = QString("{\"version\":\"1.2\",\"url\":\"%1/firmware/fw.hex\",\"md5\":\"%2\"}")
                       .arg(server_.base_url(), QString::fromLatin1(md5_hex(image_)));
        MessageBoxCatcher catcher;
        QCOMPARE(url_download_file(), QString());
        server_.set_stall(false);
        QCOMPARE(catcher.texts(), QStringList {"网络连接出错"});
        QVERIFY(!QFile::exists(dir_->filePath(FILE_NAME)));
    }

    void untrustedDownload_data()
    {
        QTest::addColumn<QString>("cert");
        QTest::newRow("self-signed") << "selfsigned";
        QTest::newRow("expired") << "expired";
        QTest::newRow("wrong name") << "wrongname";
    }
    void untrustedDownload()
    {
        QFETCH(QString, cert);
        FirmwareServer other;
        QVERIFY(use_certificate(other, cert));
        QVERIFY(other.listen_local());
        other.set_route("/firmware/fw.hex", 200, image_);
        API_DATA = QString("{\"version\":\"1.2\",\"url\":\"%1/firmware/fw.hex\",\"md5\":\"%2\"}")
                       .arg(other.base_url(), QString::fromLatin1(md5_hex(image_)));
        MessageBoxCatcher catcher;
        QCOMPARE(url_download_file(), QString());
        QCOMPARE(catcher.texts(), QStringList {"网络连接出错"});
        QVERIFY(!QFile::exists(dir_->filePath("fw.hex")));
    }

    // An unwritable first choice (here a plain file) falls back to the cache folder.
    void cacheFallback()
    {
        const QString blocker = dir_->filePath("not-a-folder");
        QFile block(blocker);
        QVERIFY(block.open(QIODevice::WriteOnly));
        block.close();
        settings().firmware_dir = blocker;
        const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        QDir(cache).removeRecursively();

        server_.set_route("/firmware/fw.hex", 200, image_);
        API_DATA = QString("{\"version\":\"1.2\",\"url\":\"%1/firmware/fw.hex\",\"md5\":\"%2\"}")
                       .arg(server_.base_url(), QString::fromLatin1(md5_hex(image_)));
        MessageBoxCatcher catcher;
        const QString path = url_download_file();
        QCOMPARE(catcher.texts(), QStringList());
        QCOMPARE(path, cache + "/fw.hex");
        QCOMPARE(read_file(path), image_);
        QVERIFY(!QFile::exists(cache + "/" + FILE_NAME));
        QDir(cache).removeRecursively();
    }

    // A firmware file name that is a folder cannot be written.
    void firmwareFileUnwritable()
    {
        QVERIFY(QDir(dir_->path()).mkdir("fw.hex"));
        server_.set_route("/firmware/fw.hex", 200, image_);
        API_DATA = QString("{\"version\":\"1.2\",\"url\":\"%1/firmware/fw.hex\",\"md5\":\"%2\"}")
                       .arg(server_.base_url(), QString::fromLatin1(md5_hex(image_)));
        MessageBoxCatcher catcher;
        QCOMPARE(url_download_file(), QString());
        QCOMPARE(catcher.texts(), QStringList {"文件打开失败"});
    }

    // The stand-alone server of the demo, end to end: its release answer leads to a verified file.
    void serverExecutable()
    {
        const QString release = dir_->filePath("served/fw-1.2.hex");
        QVERIFY(QDir(dir_->path()).mkpath("served"));
        QFile file(release);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(image_);
        file.close();

        QProcess server;
        server.start(
            QStringLiteral(TESSARO_FIRMWARE_SERVER),
            {"--cert", tls_file("server.crt"), "--key", tls_file("server.key"), "--port", "0", "--release", release});
        QVERIFY(server.waitForStarted());
        QVERIFY(server.waitForReadyRead(10000));
        const QByteArray line = server.readLine().trimmed();
        QVERIFY2(line.startsWith("port "), line.constData());
        settings().server_base = normalized_base("https://127.0.0.1:" + QString::fromLatin1(line.mid(5)));

        TestNet net;
        API_DATA = net.get_latest();
        MessageBoxCatcher catcher;
        const QString path = url_download_file();
        server.kill();
        server.waitForFinished();
        settings().server_base = normalized_base(server_.base_url());
        QCOMPARE(catcher.texts(), QStringList());
        QCOMPARE(path, dir_->filePath("fw-1.2.hex"));
        QCOMPARE(read_file(path), image_);
    }

private:
    ScopedSettings settings_scope_;
    FirmwareServer server_;
    QByteArray image_;
    QScopedPointer<QTemporaryDir> dir_;
};

QTEST_MAIN(TestFirmwareDownload)
#include "TestFirmwareDownload.moc"

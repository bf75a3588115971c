#include "NetFixture.h"
#include "TestConfig.h"
#include "net/FirmwareDownload.h"
#include "net/FirmwareGlobals.h"
#include "net/ServerConfig.h"
#include "net/TestNet.h"
#include "support/MessageBoxCatcher.h"
#include "support/TempImage.h"
#include "update/ScopedSettings.h"

#include <QtTest>

#include <unistd.h>

namespace {

QByteArray md5_hex(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
}

// A release answer as the server gives it.
QString release(const QString& url, const QByteArray& md5)
{
    return QStringLiteral("{\"version\":\"1.2\",\"url\":\"%1\",\"md5\":\"%2\"}").arg(url, QString::fromLatin1(md5));
}

} // namespace

class TestFirmwareDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(server_.listen_local());
        QString error;
        QVERIFY2(add_trusted_ca_file(tls_file("ca.crt"), &error), qPrintable(error));
        image_ = read_file(TESSARO_TEST_DATA_DIR "/objcopy-one-segment-crlf.hex");
        QVERIFY(image_.endsWith("\r\n"));
    }
    void init()
    {
        dir_.reset(new QTemporaryDir);
        QVERIFY(dir_->isValid());
        net_settings().firmware_dir = dir_->path();
        net_settings().stall_timeout_ms = 10000; // generous: sanitizer builds on a busy machine are slow
        QVERIFY(use_certificate(server_, "server"));
        server_.set_stall(false);
        server_.set_trickle(0);
        server_.set_route("/firmware/fw.hex", 200, image_);
    }

    void download_data()
    {
        QTest::addColumn<QByteArray>("body"); // served at /firmware/fw.hex
        QTest::addColumn<QString>("answer"); // %1 the address, %2 digest of `stored`, %3 in capitals
        QTest::addColumn<QByteArray>("stored"); // expected firmware file
        QTest::addColumn<QStringList>("boxes");

        const QString json = release("%1", "%2");
        const QString spread = "{\n  \"version\" : \"1.2\" ,\n\n  \"url\" : \"%1\" ,\n  \"md5\" : \"%2\"\n}\n";
        // The answer spread over lines, blanks before commas and a line end
        // before the brace; the body with LF line ends, trailing blanks, a
        // zero byte cutting its first line and no final line end.
        QByteArray loose = image_;
        loose.replace("\r\n", "  \n");
        loose.insert(loose.indexOf(' '), QByteArray("\0junk", 5));
        loose.chop(1);
        QByteArray blank = image_;
        blank.insert(blank.indexOf("\r\n") + 2, "\r\n");

        QTest::newRow("answer and lines simplified, stored with CR LF") << loose << spread << image_ << QStringList();
        QTest::newRow("blank line kept, image refused, file stays")
            << blank << json << blank << QStringList {"固件文件格式错误"};
        QTest::newRow("capital digest, file stays")
            << image_ << QString(json).replace("%2", "%3") << image_ << QStringList {"文件下载错误"};
    }
    void download()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, answer);
        QFETCH(QByteArray, stored);
        QFETCH(QStringList, boxes);

        server_.set_route("/firmware/fw.hex", 200, body);
        const QString digest = QString::fromLatin1(md5_hex(stored));
        API_DATA = answer.replace("%1", fw_url()).replace("%2", digest).replace("%3", digest.toUpper());
        QCOMPARE(fetch(), boxes);
        // The failure is the one whose box was shown.
        QCOMPARE(boxes.isEmpty() ? QString() : failure_row(failure_.failure).auto_box, boxes.value(0));
        const QString firmware = dir_->filePath("fw.hex");
        QCOMPARE(path_, boxes.isEmpty() ? firmware : QString());
        QCOMPARE(read_file(firmware), stored);
        QVERIFY(!QFile::exists(dir_->filePath(FILE_NAME)));
    }

    // Every failure leaves no file behind, the staging file included.
    void refused_data()
    {
        QTest::addColumn<QString>("answer"); // %1 the server's base address
        QTest::addColumn<QString>("cert");
        QTest::addColumn<QString>("server"); // "stall", "trickle", "small bound" or a plain server
        QTest::addColumn<QStringList>("boxes"); // each box a failure of its own
        const QString good = release("%1/firmware/fw.hex", md5_hex(image_));
        const QStringList bad_answer {"获取固件信息失败"};
        const QStringList lost {"网络连接出错"};
        const auto row = [](const char* name, const QString& answer, const QStringList& boxes,
                            const char* cert = "server", const char* server = "") {
            QTest::newRow(name) << answer << QString(cert) << QString(server) << boxes;
        };
        row("empty answer", QString(), bad_answer);
        row("two fields", "{\"version\":\"1.2\",\"url\":\"https", bad_answer);
        row("no digest value", "{\"version\":\"1.2\",\"url\":\"%1/firmware/fw.hex\",\"md5", bad_answer);
        row("too few path parts", release("%1/fw.hex", "ab"), bad_answer);
        row("file address", release("file:///etc/passwd/x", "ab"), bad_answer);
        row("ftp address", release("ftp://127.0.0.1/firmware/fw.hex", "ab"), bad_answer);
        const auto bad_name = [&](const char* name, const QString& file) {
            row(name, release("%1/firmware/" + file, "ab"), bad_answer);
        };
        bad_name("dot dot", "..");
        bad_name("hidden", ".fw.hex");
        bad_name("empty name", "");
        bad_name("staging name", "hex.txt");
        bad_name("backslash", "a\\\\b.hex");
        bad_name("control char", "a\x01.hex");
        bad_name("not ASCII", "fw\u00e9.hex");
        bad_name("129 characters", QString(125, 'a') + ".hex");
        row("404", release("%1/firmware/missing.hex", "ab"), lost);
        row("self-signed", good, lost, "selfsigned");
        row("expired", good, lost, "expired");
        row("wrong name", good, lost, "wrongname");
        row("stalled", good, lost, "server", "stall");
        row("trickling past the deadline", good, lost, "server", "trickle");
        row("body past its bound", good, lost, "server", "small bound");
        // The kernel refuses a TCP connection to a multicast address at once
        // ("Network unreachable"), which Qt reports as UnknownNetworkError: the
        // download is tried again three times, then given up.
        const QString retry = "未知网络错误,尝试二次联网";
        row("unknown network error, retried three times", release("https://224.0.0.1/firmware/fw.hex", "ab"),
            {retry, retry, retry, lost[0]});
    }
    void refused()
    {
        QFETCH(QString, answer);
        QFETCH(QString, cert);
        QFETCH(QString, server);
        QFETCH(QStringList, boxes);
        QVERIFY(use_certificate(server_, cert));
        server_.set_stall(server == QLatin1String("stall"));
        server_.set_trickle(server == QLatin1String("trickle") ? 20 : 0);
        ScopedSettings scope;
        net_settings().stall_timeout_ms = server == QLatin1String("stall") ? 200 : 10000;
        net_settings().body_deadline_ms = server == QLatin1String("trickle") ? 300 : 60000;
        net_settings().body_max_bytes = server == QLatin1String("small bound") ? 1000 : 16 << 20;
        API_DATA = answer.replace("%1", server_.base_url());
        QCOMPARE(fetch(), boxes);
        // The answer's box is a refused answer's, the others a failed download's.
        const bool refusedAnswer = boxes == QStringList {"获取固件信息失败"};
        QCOMPARE(failure_.failure, refusedAnswer ? UpdateFailure::AnswerRefused : UpdateFailure::DownloadFailed);
        QCOMPARE(path_, QString());
        QCOMPARE(QDir(dir_->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    }

    // A name that stands for a neighbour of the program is never downloaded to,
    // however the answer names it; an earlier firmware download is replaced.
    void neighboursAreLeftAlone()
    {
        const QString neighbour = dir_->filePath("tessaro.conf");
        QVERIFY(write_file(neighbour, "keep"));
        const int requests = server_.request_count();
        API_DATA = release(server_.base_url() + "/firmware/tessaro.conf", md5_hex(image_));
        QCOMPARE(fetch(), QStringList {"获取固件信息失败"});
        QCOMPARE(read_file(neighbour), QByteArray("keep"));
        QCOMPARE(server_.request_count(), requests);

        const QString earlier = dir_->filePath("FW.HEX");
        QVERIFY(write_file(earlier, "old"));
        server_.set_route("/firmware/FW.HEX", 200, image_);
        API_DATA = release(server_.base_url() + "/firmware/FW.HEX", md5_hex(image_));
        QCOMPARE(fetch(), QStringList());
        QCOMPARE(read_file(earlier), image_);
        // A transfer that fails leaves the earlier file as it was, and no part file.
        server_.set_route("/firmware/FW.HEX", 200, QByteArray(2000, 'x'));
        ScopedSettings scope;
        net_settings().body_max_bytes = 1000;
        QCOMPARE(fetch(), QStringList {"网络连接出错"});
        QCOMPARE(read_file(earlier), image_);
        QVERIFY(!QFile::exists(earlier + ".part"));
    }

    // A link planted at the name of a file the download creates is replaced,
    // never written through: what it points to stays as it was.
    void plantedLinksAreNotFollowed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("dangling"); // the link points to no file yet
        QTest::newRow("the part file") << "fw.hex.part" << false;
        QTest::newRow("the part file, dangling") << "fw.hex.part" << true;
        QTest::newRow("the staging file") << FILE_NAME << false;
        QTest::newRow("the staging file, dangling") << FILE_NAME << true;
        QTest::newRow("the folder probe") << FILE_NAME + ".probe" << false;
        QTest::newRow("the firmware file") << "fw.hex" << false;
    }
    void plantedLinksAreNotFollowed()
    {
        QFETCH(QString, name);
        QFETCH(bool, dangling);
        QTemporaryDir outside;
        const QString target = outside.filePath("precious");
        QVERIFY(dangling || write_file(target, "keep"));
        QVERIFY(QFile::link(target, dir_->filePath(name)));
        API_DATA = release(fw_url(), md5_hex(image_));
        QCOMPARE(fetch(), QStringList());
        QCOMPARE(read_file(path_), image_);
        QCOMPARE(QFile::exists(target), !dangling);
        QCOMPARE(read_file(target), dangling ? QByteArray() : QByteArray("keep"));
        QCOMPARE(QDir(outside.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), dangling ? 0 : 1);
        QVERIFY(!QFileInfo(path_).isSymLink());
    }

    // A transfer broken mid-body is tried again, and the body is stored once.
    void retriedTransferStoresBodyOnce()
    {
        const int requests = server_.request_count();
        server_.set_corrupt_answers(1);
        API_DATA = release(fw_url(), md5_hex(image_));
        QCOMPARE(fetch(), QStringList {"未知网络错误,尝试二次联网"});
        QCOMPARE(server_.request_count(), requests + 2);
        QCOMPARE(read_file(path_), image_);
    }

    // The staging file and the firmware go to one folder the user can write
    // that is not among the system's files: the first choice, else the cache
    // folder, else (no home to keep a cache in) a private temporary folder.
    void fallbackFolders_data()
    {
        QTest::addColumn<QString>("first"); // empty: a plain file in the way
        QTest::addColumn<QString>("expected"); // the folder's start; not the cache: the cache is blocked too
        const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + "/";
        QTest::newRow("first choice unwritable") << "" << cache;
        QTest::newRow("system folder, even for root") << "/usr/bin" << cache;
        QTest::newRow("no cache folder either") << "" << QDir::tempPath() + "/TestFirmwareDownload-";
    }
    void fallbackFolders()
    {
        QFETCH(QString, first);
        QFETCH(QString, expected);
        const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        QDir(cache).removeRecursively();
        const QString blocker = dir_->filePath("not-a-folder");
        QVERIFY(QFile(blocker).open(QIODevice::WriteOnly));
        net_settings().firmware_dir = first.isEmpty() ? blocker : first;
        if (!expected.startsWith(cache)) {
            QVERIFY(QDir().mkpath(QFileInfo(cache).path()) && QFile::copy(blocker, cache));
        }
        API_DATA = release(fw_url(), md5_hex(image_));
        const QStringList boxes = fetch();
        QFile::remove(cache);
        QCOMPARE(boxes, QStringList());
        QVERIFY2(path_.startsWith(expected) && path_.endsWith("/fw.hex"), qPrintable(path_));
        QCOMPARE(read_file(path_), image_);
        QVERIFY(!QFile::exists(QFileInfo(path_).path() + "/" + FILE_NAME));
        QDir(cache).removeRecursively();
    }

    // A firmware folder that cannot take the file is named as such: where the
    // file's name is a folder, and where no room is left. Root mounts a tiny
    // tmpfs for the latter; root can write any folder, so an unwritable one is
    // not tried.
    void folderUnwritable_data()
    {
        QTest::addColumn<bool>("full"); // else the file's name is taken by a folder
        QTest::newRow("firmware name is a folder") << false;
        QTest::newRow("folder full") << true;
    }
    void folderUnwritable()
    {
        QFETCH(bool, full);
        QTemporaryDir small;
        QVERIFY(small.isValid());
        const QStringList mount {"-t", "tmpfs", "-o", "size=16k", "tmpfs", small.path()};
        if (full && (geteuid() != 0 || QProcess::execute(QStringLiteral("mount"), mount) != 0)) {
            QSKIP("mounting a tmpfs needs root");
        }
        const auto unmount = qScopeGuard([&] {
            if (full) {
                QProcess::execute(QStringLiteral("umount"), {small.path()});
            }
        });
        net_settings().firmware_dir = small.path();
        const QByteArray body = full ? image_.repeated(40) : image_;
        QVERIFY(full || QDir(small.path()).mkdir("fw.hex"));
        server_.set_route("/firmware/fw.hex", 200, body);
        API_DATA = release(fw_url(), md5_hex(body));
        QCOMPARE(fetch(), QStringList {"文件打开失败"});
        QCOMPARE(path_, QString());
        QCOMPARE(failure_.failure, UpdateFailure::FolderUnwritable);
        QCOMPARE(failure_.detail, small.path());
        QVERIFY2(!full || failure_.system_error.contains(QStringLiteral("No space left")),
                 qPrintable(failure_.system_error));
        QCOMPARE(QDir(small.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 full ? QStringList() : QStringList {"fw.hex"});
    }

    // The stand-alone server of the demo, end to end: its release answer leads to a verified file.
    void serverExecutable()
    {
        QVERIFY(QDir(dir_->path()).mkpath("served"));
        // Served with LF line ends: the server publishes the form the updater stores.
        const QString served = dir_->filePath("served/fw-1.2.hex");
        QVERIFY(write_file(served, QByteArray(image_).replace("\r\n", "\n")));
        QProcess server;
        server.start(
            QStringLiteral(TESSARO_FIRMWARE_SERVER),
            {"--cert", tls_file("server.crt"), "--key", tls_file("server.key"), "--port", "0", "--release", served});
        QVERIFY(server.waitForStarted() && server.waitForReadyRead(10000));
        const QByteArray line = server.readLine().trimmed();
        QVERIFY2(line.startsWith("port "), line.constData());
        net_settings().server_base = "https://127.0.0.1:" + QString::fromLatin1(line.mid(5));

        API_DATA = TestNet().get_latest();
        const QStringList boxes = fetch();
        server.kill();
        server.waitForFinished();
        QCOMPARE(boxes, QStringList());
        QCOMPARE(path_, dir_->filePath("fw-1.2.hex"));
        QCOMPARE(read_file(path_), image_);
    }

private:
    QString fw_url() const { return server_.base_url() + "/firmware/fw.hex"; }
    // The download as the update runs it: the texts of the boxes the user was shown.
    QStringList fetch()
    {
        MessageBoxCatcher catcher;
        FirmwareImage image;
        failure_ = FetchFailure();
        path_ = fetch_firmware(&image, &failure_) ? image.path() : QString();
        // A failure always says which.
        return path_.isEmpty() == (failure_.failure != UpdateFailure::None) ? catcher.texts()
                                                                            : QStringList {"no failure given"};
    }

    ScopedSettings settings_scope_;
    FirmwareServer server_;
    QByteArray image_;
    QScopedPointer<QTemporaryDir> dir_;
    QString path_; // what the last fetch() returned
    FetchFailure failure_; // and why not
};

QTEST_MAIN(TestFirmwareDownload)
#include "TestFirmwareDownload.moc"

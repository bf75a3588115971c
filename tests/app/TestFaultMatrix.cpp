#include "FirmwareServer.h"
#include "TestConfig.h"
#include "app/HomePage.h"
#include "console/MyComboBox.h"
#include "console/UsbManager.h"
#include "console/Widget.h"
#include "net/FirmwareGlobals.h"
#include "net/ServerConfig.h"
#include "protocol/BootloaderSearch.h"
#include "protocol/Commands.h"
#include "sim/SimBus.h"
#include "sim/SimOptions.h"
#include "support/Children.h"
#include "support/LocalServer.h"
#include "support/MessageBoxCatcher.h"
#include "support/RunLog.h"
#include "support/TempImage.h"
#include "support/WalletRuns.h"
#include "ui_HomePage.h"
#include "update/ScopedSettings.h"

#include <QtTest>
#include <QtWidgets>

namespace {

const QString kNotice = QStringLiteral("即将进行下载，请勿断开设备");

// Two segments of four blocks each (three full blocks and a tail).
const QList<hex::Window> kWindows {{0x0800, 0x4000, hex::pattern(50 * 16 + 8, 5)},
                                   {0x0801, 0x0000, hex::pattern(55 * 16, 6)}};

// A report of the update that a fault can hit: its number on the wire since
// the wallet was attached, and what losing it does.
struct Phase
{
    QByteArray name;
    int report;
    UpdateFailure lost;
};

// What the automatic path shows in its boxes: the notice once the restart
// went out, then the failure's own. A restart that did not go out looks to
// it like a bootloader that did not come.
QStringList auto_boxes(UpdateFailure failure)
{
    return {kNotice,
            failure_row(failure == UpdateFailure::EntryNotSent ? UpdateFailure::BootloaderNotFound : failure).auto_box};
}

// What the manual download writes to the run log after "Send begin": the
// erase's answer as it came, then the failure's own lines.
QStringList manual_lines(UpdateFailure failure)
{
    const FailureRow& row = failure_row(failure);
    QStringList lines;
    if (row.erased || failure == UpdateFailure::EraseRefused) {
        lines << (failure == UpdateFailure::EraseNoReply ? QStringLiteral("没有接受擦除信息")
                                                         : QStringLiteral("接受擦除信息"));
    }
    if (row.erased && failure != UpdateFailure::EraseNoReply) {
        lines << QStringLiteral("程序擦除成功");
    }
    for (const QString& line : row.log_lines) {
        lines << line.mid(int(qstrlen("Send ")));
    }
    return lines;
}

// Whether `text` is the cause of `failure` as its row words it, the
// failure's facts in the row's places.
bool fits_cause(const QString& text, UpdateFailure failure)
{
    QString pattern = QRegularExpression::escape(failure_row(failure).cause);
    for (const char* fact : {"{detail}", "{file}", "{server}"}) {
        pattern.replace(QRegularExpression::escape(QLatin1String(fact)), QStringLiteral(".*"));
    }
    return QRegularExpression(QStringLiteral("^") + pattern + QStringLiteral("$")).match(text).hasMatch();
}

// The informative texts seen so far and the failure each told: no two
// failures may read alike.
QHash<QString, int> g_told;

bool told_apart(const QString& text, UpdateFailure failure)
{
    return g_told.insert(text, g_told.value(text, int(failure))).value() == int(failure);
}

// Reports of `command` on the wire: the first of each, or all.
int count_first_reports(unsigned char command, bool first = true)
{
    const std::vector<QByteArray>& trace = sim::Bus::instance().trace();
    return int(std::count_if(trace.begin(), trace.end(), [command, first](const QByteArray& r) {
        return quint8(r[3]) == command && (r[5] == 0 || !first);
    }));
}

} // namespace

// Both update paths as the user starts them, the automatic one by its button
// against a local HTTPS firmware server, the manual one from the advanced
// window, with each fault at each phase: what the user is told, no CMD_FINISH
// after a fault, what is left open and on disk, the button back.
class TestFaultMatrix : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const QSslConfiguration trust = serve_firmware_locally(server_);
        QVERIFY(!trust.caCertificates().isEmpty());
        trust_ = trust;
        device_settings().wait = wait_on_bus_clock;
        QVERIFY(QDir::setCurrent(folder_.path())); // the run log's place
        net_settings().firmware_dir = folder_.path();
        firmwarePath_ = folder_.filePath(QStringLiteral("fw.hex"));
        const QByteArray text = hex::image(kWindows).join("\r\n") + "\r\n";
        server_.set_route(QStringLiteral("/firmware/fw.hex"), 200, text);
        digest_ = QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
        serveRelease(digest_);

        // The phases, as a clean update puts them on the wire.
        sim::Bus& bus = sim::Bus::instance();
        bus.reset();
        bus.attachWallet();
        bus.setTraceEnabled(true);
        {
            MessageBoxCatcher boxes;
            page_->show();
            QTest::mouseClick(page_->ui->pbtn_auto, Qt::LeftButton);
            QCOMPARE(boxes.texts(), auto_boxes(UpdateFailure::None));
        }
        const QMap<int, Phase> kinds {{CMD_GOTO_ROM, {"CMD_GOTO_ROM", 0, UpdateFailure::EntryNotSent}},
                                      {CMD_AUTH, {"CMD_AUTH", 0, UpdateFailure::AuthNotSent}},
                                      {CMD_ERASE, {"CMD_ERASE", 0, UpdateFailure::EraseNoReply}},
                                      {CMD_CHECK_CRC, {"CRC check ", 0, UpdateFailure::CrcNoReply}},
                                      {CMD_FINISH, {"CMD_FINISH", 0, UpdateFailure::FinishNotSent}}};
        int crc = 0;
        for (int i = 0; i < int(bus.trace().size()); ++i) {
            const QByteArray& report = bus.trace()[i];
            const int command = quint8(report[3]);
            if (report[5] == 0 && command == CMD_WRITE) { // continuations have sequence numbers from 1
                blocks_.append(i + 1);
            } else if (report[5] == 0) {
                Phase phase = kinds.value(command);
                phase.report = i + 1;
                phase.name += command == CMD_CHECK_CRC ? QByteArray::number(crc++) : QByteArray();
                phases_.append(phase);
            }
        }
        QCOMPARE(blocks_.size(), 8);
        QCOMPARE(crc, kWindows.size());
        const char* where[] = {"first", "middle", "last"};
        for (int segment = 0; segment < 2; ++segment) {
            for (int k : {0, 2, 3}) {
                phases_.append({QByteArray(where[(k + 1) / 2]) + " block of segment " + QByteArray::number(segment),
                                blocks_[segment * 4 + k], UpdateFailure::WriteFailed});
            }
        }
        bus.reset();
    }
    void cleanup()
    {
        QVERIFY(!QFile::exists(folder_.filePath(FILE_NAME))); // no staging file is left
        serveRelease(digest_);
        net_settings().server_base = normalized_base(server_.base_url());
        QSslConfiguration::setDefaultConfiguration(trust_);
        UsbManager::GetInstance()->CloseDevice();
        QCOMPARE(sim::Bus::instance().openHandles(), 0);
        sim::Bus::instance().reset();
        QFile::remove(firmwarePath_);
        recorded_waits().clear();
    }
    void update_data()
    {
        QTest::addColumn<bool>("manual");
        // Faults of the wallet, comma-separated, and of the setting: no-release,
        // bad-digest, no-wallet, bad-image, not-connected, path-style=linux, held
        // (by another process's lock).
        QTest::addColumn<QString>("faults");
        QTest::addColumn<int>("failure"); // UpdateFailure
        QTest::addColumn<QStringList>("told"); // the boxes, or the run-log lines after "Send begin"
        for (bool manual : {false, true}) {
            const auto row = [manual](const QByteArray& name, const QString& faults, UpdateFailure failure,
                                      const QStringList& told = QStringList()) {
                QTest::newRow((manual ? "manual: " : "automatic: ") + name)
                    << manual << faults << int(failure)
                    << (told.isEmpty() ? (manual ? manual_lines(failure) : auto_boxes(failure)) : told);
            };
            for (const Phase& phase : phases_) {
                row("unplugged at " + phase.name, QStringLiteral("unplug-at=%1").arg(phase.report), phase.lost);
                row("write error at " + phase.name, QStringLiteral("write-error-at=%1").arg(phase.report), phase.lost);
            }
            for (int block : {0, 4, 7}) {
                row("bit flipped in block " + QByteArray::number(block),
                    QStringLiteral("flip-bit-at=%1").arg(blocks_[block]), UpdateFailure::CrcRefused);
            }
            row("no erase reply", QStringLiteral("no-erase-reply"), UpdateFailure::EraseNoReply);
            row("erase refused", QStringLiteral("refuse-erase"), UpdateFailure::EraseRefused);
            for (int segment = 0; segment < kWindows.size(); ++segment) {
                const QByteArray name = "CRC check " + QByteArray::number(segment);
                row("no reply to " + name, QStringLiteral("no-crc-reply-to=%1").arg(segment),
                    UpdateFailure::CrcNoReply);
                row(name + " refused", QStringLiteral("refuse-crc=%1").arg(segment), UpdateFailure::CrcRefused);
            }
            const SearchPolicy& search = manual ? MANUAL_SEARCH : AUTOMATIC_SEARCH;
            const int last = int((search.attempts - 1) * search.wait_ms);
            row("bootloader at the last search", QStringLiteral("reboot-ms=%1").arg(last), UpdateFailure::None);
            row("bootloader cannot be opened", QStringLiteral("bootloader-open-denied"),
                UpdateFailure::BootloaderNoPermission);
            row("bootloader one search too late", QStringLiteral("reboot-ms=%1").arg(last + int(search.wait_ms)),
                UpdateFailure::BootloaderNotFound);
            const QString stray = QStringLiteral("stray-before-reply");
            row("stray report when the bootloader starts", QStringLiteral("stray-report"), UpdateFailure::None);
            row("stray report before each reply", stray, UpdateFailure::None);
            row("stray report, erase refused", stray + ",refuse-erase", UpdateFailure::EraseRefused);
            row("stray report, last CRC check refused", stray + ",refuse-crc=1", UpdateFailure::CrcRefused);
            row("hidraw paths", QStringLiteral("path-style=linux"), UpdateFailure::None);
        }
        const auto fetch = [](const QByteArray& name, const QString& faults, UpdateFailure failure) {
            QTest::newRow("automatic: " + name)
                << false << faults << int(failure) << QStringList {failure_row(failure).auto_box};
        };
        fetch("no release answer", "no-release", UpdateFailure::ReleaseHttpStatus);
        fetch("server down", "no-server", UpdateFailure::ReleaseNoAnswer);
        fetch("certificate not trusted", "untrusted", UpdateFailure::ReleaseTlsRefused);
        fetch("answer not understood", "bad-answer", UpdateFailure::AnswerRefused);
        fetch("wallet may not be opened", "open-denied", UpdateFailure::WalletNoPermission);
        fetch("digest does not match", "bad-digest", UpdateFailure::DigestMismatch);
        fetch("no wallet", "no-wallet", UpdateFailure::NoWallet);
        // Another process holds the wallet's lock: to the windows, a wallet that cannot be opened.
        fetch("held by another process", "held", UpdateFailure::WalletBusy);
        QTest::newRow("manual: held by another process")
            << true << "held" << int(UpdateFailure::WalletBusy) << manual_lines(UpdateFailure::WalletBusy);
        QTest::newRow("manual: refused image") << true << "bad-image" << int(UpdateFailure::ImageRefused)
                                               << QStringList {"固件文件格式错误 line 1: missing start code ':'"};
        QTest::newRow("manual: missing file") << true << "missing-file" << int(UpdateFailure::ImageUnreadable)
                                              << QStringList {"固件文件格式错误 No such file or directory"};
        QTest::newRow("manual: empty file field") << true << "no-file" << int(UpdateFailure::ImageUnreadable)
                                                  << QStringList {"固件文件格式错误 No file name specified"};
        QTest::newRow("manual: not connected") << true << "not-connected" << int(UpdateFailure::WalletNotConnected)
                                               << manual_lines(UpdateFailure::WalletNotConnected);
    }
    void update()
    {
        QFETCH(bool, manual);
        QFETCH(QString, faults);
        QFETCH(int, failure);
        QFETCH(QStringList, told);
        const UpdateFailure expected = UpdateFailure(failure);
        const FailureRow& row = failure_row(expected);
        const bool ok = expected == UpdateFailure::None;
        // Failures before the restart leave the wallet untouched.
        const bool untouched = !row.touched;
        sim::WalletConfig config;
        QString error;
        const QStringList given = faults.split(QLatin1Char(','));
        QTemporaryDir locks;
        QFile held;
        const auto unlocked = qScopeGuard([] { device_settings().lock_dir.clear(); });
        for (const QString& fault : given) {
            if (fault == QLatin1String("path-style=linux")) {
                config.path_style = sim::PathStyle::Linux;
            } else if (fault == QLatin1String("no-release")) {
                server_.remove_route(QStringLiteral("/firmware/latest"));
            } else if (fault == QLatin1String("bad-digest")) {
                serveRelease(QByteArray(32, '0'));
            } else if (fault == QLatin1String("held")) {
                device_settings().lock_dir = locks.path();
                QVERIFY(hold_lock(held, locks.filePath("tessaro-wallet-0x14100000.lock"), "4242 tessaro-flash\n"));
            } else if (fault == QLatin1String("no-server")) {
                net_settings().server_base = normalized_base(QStringLiteral("https://127.0.0.1:1"));
            } else if (fault == QLatin1String("untrusted")) {
                // A company proxy's certificate looks like this: signed by no root we know.
                QSslConfiguration other = trust_;
                other.setCaCertificates(
                    QSslCertificate::fromPath(QStringLiteral(TESSARO_TEST_DATA_DIR "/tls/selfsigned.crt")));
                QSslConfiguration::setDefaultConfiguration(other);
            } else if (fault == QLatin1String("bad-answer")) {
                server_.set_route(QStringLiteral("/firmware/latest"), 200, "no release here", "text/plain");
            } else if (!QStringList {"no-wallet", "bad-image", "not-connected", "missing-file", "no-file"}.contains(
                           fault)) {
                QVERIFY2(sim::applyFault(fault, &config, &error), qPrintable(error));
            }
        }
        if (config.faults.bootloader_open_denied || config.faults.open_denied) {
            // The boxes keep their texts; the debug output names the missing rule.
            QTest::ignoreMessage(QtDebugMsg,
                                 QRegularExpression("^cannot open .*: permission denied\\. Install the udev rule"));
        }
        sim::Bus& bus = sim::Bus::instance();
        sim::Wallet* wallet = given.contains(QStringLiteral("no-wallet")) ? nullptr : &bus.attachWallet(config);
        bus.setTraceEnabled(true);
        MessageBoxCatcher boxes;

        if (!manual) {
            // One window for every row, as the user would go on using it.
            HomePage& page = *page_;
            page.ui->progressBar->setValue(0);
            page.show();
            // The button stays off while the sequence runs, the window refuses to
            // close under the writer, and the notice comes once CMD_GOTO_ROM went
            // out, before anything is written.
            bool enabledWhileRunning = false;
            bool closeTried = false;
            bool closedWhileRunning = false;
            QVector<QPair<int, int>> bar; // its value, and the data reports sent by then
            connect(page.ui->progressBar, &QProgressBar::valueChanged, &boxes, [&](int value) {
                bar.append({value, count_first_reports(CMD_WRITE, false)});
                enabledWhileRunning |= page.ui->pbtn_auto->isEnabled();
                if (!closeTried) {
                    closeTried = true;
                    closedWhileRunning = page.close();
                }
            });
            boxes.onBox = [&](const MessageBoxCatcher::Box& box) {
                enabledWhileRunning |= page.ui->pbtn_auto->isEnabled();
                QCOMPARE(box.title, QStringLiteral("提示"));
                QVERIFY(!box.hasParent && box.buttons == int(QMessageBox::Ok));
                if (box.text == kNotice) {
                    QVERIFY(count_first_reports(CMD_GOTO_ROM) == 1 && count_first_reports(CMD_AUTH) == 0);
                }
            };
            API_DATA = QStringLiteral("an earlier answer");
            QTest::mouseClick(page.ui->pbtn_auto, Qt::LeftButton);
            QCOMPARE(boxes.texts(), told);
            // The outcome's box: the text as it always was, what happened and
            // what to do next below it, a warning unless it succeeded.
            const UpdateFailure shown
                = expected == UpdateFailure::EntryNotSent ? UpdateFailure::BootloaderNotFound : expected;
            const QString cert = QStringLiteral("证书颁发给“127.0.0.1”，签发者“Tessaro Test CA”");
            const MessageBoxCatcher::Box box = boxes.boxes().last();
            QCOMPARE(box.icon, int(ok ? QMessageBox::Information : QMessageBox::Warning));
            QVERIFY2(fits_cause(box.informative, shown), qPrintable(box.informative));
            QVERIFY2(told_apart(box.informative, shown), qPrintable(box.informative));
            QVERIFY(expected != UpdateFailure::ReleaseTlsRefused || box.informative.contains(cert));
            QVERIFY(expected != UpdateFailure::ReleaseHttpStatus || box.informative.contains(QLatin1String("404")));
            for (const MessageBoxCatcher::Box& other : boxes.boxes().mid(0, boxes.boxes().size() - 1)) {
                QVERIFY(other.informative.isEmpty() && other.icon == int(QMessageBox::Information));
            }
            QVERIFY(API_DATA != QStringLiteral("an earlier answer"));
            QVERIFY(!enabledWhileRunning);
            QVERIFY(page.ui->pbtn_auto->isEnabled());
            QVERIFY((closeTried || !ok) && !closedWhileRunning);
            QVERIFY(page.close());
            // The bar shows the share of the image's data reports sent, 100 only once the last went out.
            const int reports = count_first_reports(CMD_WRITE, false);
            for (const QPair<int, int>& step : qAsConst(bar)) {
                QVERIFY(!ok || step.first == 100 * step.second / reports);
            }
            const bool allSent = ok || expected == UpdateFailure::CrcNoReply || expected == UpdateFailure::CrcRefused
                || expected == UpdateFailure::FinishNotSent;
            QCOMPARE(page.ui->progressBar->value() == 100, allSent);
            const bool downloaded
                = !QStringList {"no-release", "no-server", "untrusted", "bad-answer"}.contains(faults);
            QCOMPARE(QFile::exists(firmwarePath_), !ok && downloaded);
            QCOMPARE(bus.openHandles(), 0);
        } else {
            const int logged = run_log::texts().size();
            TempImage image(faults == QLatin1String("bad-image") ? QList<QByteArray> {"not an image"}
                                                                 : hex::image(kWindows),
                            "\r\n");
            Widget w(nullptr);
            w.OnFindUsb();
            if (faults != QLatin1String("not-connected")) {
                w.OnConnectUsb();
            }
            child<QLineEdit>(w)->setText(faults == QLatin1String("missing-file")  ? folder_.filePath("gone.hex")
                                             : faults == QLatin1String("no-file") ? QString()
                                                                                  : image.path());
            QPushButton* download = child<QPushButton>(w, QStringLiteral("下载"));
            QTest::mouseClick(download, Qt::LeftButton);
            QStringList lines;
            for (const QString& line : run_log::texts().mid(logged)) {
                if (line.startsWith(QStringLiteral("Send "))) {
                    lines << line.mid(5);
                }
            }
            QCOMPARE(lines, QStringList {QStringLiteral("begin")} + told);
            // The notice once the restart went out, then the failure's own box.
            QStringList shown;
            if (row.touched && expected != UpdateFailure::EntryNotSent) {
                shown << kNotice;
            }
            if (!row.manual_box.isEmpty()) {
                shown << row.manual_box;
            }
            QCOMPARE(boxes.texts(), shown);
            for (const MessageBoxCatcher::Box& box : boxes.boxes()) {
                const bool failureBox = box.text == row.manual_box;
                QCOMPARE(box.icon, int(failureBox ? QMessageBox::Warning : QMessageBox::Information));
                QVERIFY(failureBox ? fits_cause(box.informative, expected) : box.informative.isEmpty());
            }
            // The status line: the outcome, and after a failure why, the whole
            // of it in the tooltip and the accessible description, the line
            // elided to the window's unchanged width.
            QLabel* status = child<QLabel>(w);
            if (ok) {
                QCOMPARE(status->text(), row.manual_status);
            } else {
                const QString full = status->toolTip();
                QVERIFY2(full.startsWith(row.manual_status + QStringLiteral("：")), qPrintable(full));
                const QString why = full.mid(row.manual_status.size() + 1);
                QVERIFY2(fits_cause(why, expected), qPrintable(why));
                QCOMPARE(status->accessibleDescription(), full);
                // Shown, the line is cut to the label's own width, the window's unchanged.
                w.show();
                QVERIFY(QTest::qWaitForWindowExposed(&w));
                QVERIFY(status->fontMetrics().horizontalAdvance(status->text()) <= status->contentsRect().width());
                QVERIFY(status->text().endsWith(QChar(0x2026)) && full.startsWith(status->text().chopped(1)));
                QCOMPARE(status->toolTip(), full);
                w.hide();
                if (faults == QLatin1String("bad-image")) {
                    QVERIFY2(why.contains(image.path()) && why.contains(QLatin1String("line 1")), qPrintable(why));
                } else if (faults == QLatin1String("missing-file")) {
                    QVERIFY(why.contains(folder_.filePath("gone.hex")));
                } else if (faults == QLatin1String("no-file")) {
                    QVERIFY(why.contains(QStringLiteral("未填写文件路径")));
                }
            }
            QCOMPARE(w.size(), QSize(500, 280));
            QVERIFY(download->isEnabled());
            // The path and the picker, locked during the download, are free again.
            QVERIFY(child<QLineEdit>(w)->isEnabled() && child<MyComboBox>(w)->isEnabled());
            // Only the manager's handle stays, kept for the next download.
            const bool closed = expected == UpdateFailure::WalletNotConnected || config.faults.bootloader_open_denied;
            QCOMPARE(bus.openHandles(), closed ? 0 : 1);
        }

        // The bootloader is looked for at the path's pace, and no longer than the bootloader takes.
        const SearchPolicy& search = manual ? MANUAL_SEARCH : AUTOMATIC_SEARCH;
        const int rebootMs = config.faults.reboot_ms;
        const bool neverCame = expected == UpdateFailure::BootloaderNotFound
            || expected == UpdateFailure::BootloaderNoPermission
            || (!manual && expected == UpdateFailure::EntryNotSent);
        // A bootloader found but not opened is tried again at once on the automatic path.
        const bool retriedAtOnce = config.faults.bootloader_open_denied && !search.wait_after_failed_open;
        QCOMPARE(recorded_waits(),
                 QVector<unsigned int>(retriedAtOnce   ? 0
                                           : neverCame ? search.attempts
                                                       : (rebootMs + search.wait_ms - 1) / search.wait_ms,
                                       search.wait_ms));
        // Nothing goes out after a lost report, and CMD_FINISH only after every check passed.
        QCOMPARE(count_first_reports(CMD_FINISH), ok || expected == UpdateFailure::FinishNotSent ? 1 : 0);
        const QRegularExpressionMatch lost
            = QRegularExpression(QStringLiteral("(unplug|write-error)-at=(\\d+)")).match(faults);
        if (lost.hasMatch()) {
            QCOMPARE(int(bus.trace().size()), lost.captured(2).toInt());
        }
        QCOMPARE(bus.trace().empty(), untouched);
        if (wallet != nullptr) {
            QCOMPARE(wallet->commandCount(CMD_FINISH), ok ? 1 : 0);
            QCOMPARE(wallet->firmwareUpdates(), ok ? 1 : 0);
            QVERIFY(!ok || holds(*wallet, kWindows));
        }
    }

private:
    void serveRelease(const QByteArray& digest)
    {
        // Ordinary indented JSON, one member a line.
        server_.set_route(QStringLiteral("/firmware/latest"), 200,
                          "{\n  \"version\": \"1.2.0\",\n  \"url\": \"" + server_.base_url().toUtf8()
                              + "/firmware/fw.hex\",\n  \"md5\": \"" + digest + "\"\n}\n",
                          "application/json");
    }

    ScopedSettings settings_scope_;
    QSslConfiguration trust_;
    FirmwareServer server_;
    QTemporaryDir folder_;
    QString firmwarePath_;
    QByteArray digest_;
    QVector<Phase> phases_;
    QVector<int> blocks_; // the first report of each data block, in order
    QScopedPointer<HomePage> page_ {new HomePage};
};

QTEST_MAIN(TestFaultMatrix)
#include "TestFaultMatrix.moc"

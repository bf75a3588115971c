#include "net/FirmwareDownload.h"

#include "log/Failure.h"
#include "log/Notice.h"
#include "net/FirmwareGlobals.h"
#include "net/NetSettings.h"
#include "net/NetWait.h"
#include "net/NewFile.h"
#include "net/ReleaseAnswer.h"
#include "net/ServerConfig.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QTextStream>
#include <QUrl>

#include <algorithm>
#include <memory>

namespace {

QString first_choice_directory()
{
    const QString& dir = net_settings().firmware_dir;
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir;
}

// An installed program lives among the system's files: a download beside it
// (even where root could write it) would leave strangers among them.
bool system_directory(const QString& dir)
{
    const QString canonical = QFileInfo(dir).canonicalFilePath() + QLatin1Char('/');
    for (const char* root : {"/usr/", "/bin/", "/sbin/", "/lib/", "/opt/"}) {
        if (canonical.startsWith(QLatin1String(root))) {
            return true;
        }
    }
    return false;
}

QString cache_directory()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (!dir.isEmpty()) {
        QDir().mkpath(dir);
    }
    return dir;
}

// The cache folder lies in the home folder, which an account such as
// "nobody" does not have (or cannot write): such a run still gets a folder of
// its own, private to the user and removed when the program ends.
QString private_temp_directory()
{
    static std::unique_ptr<QTemporaryDir> dir;
    if (!dir) {
        dir.reset(new QTemporaryDir(QDir::tempPath() + "/" + QCoreApplication::applicationName() + "-XXXXXX"));
    }
    return dir->isValid() ? dir->path() : QString();
}

// A folder counts as usable when a file can really be created in it.
bool directory_writable(const QString& dir)
{
    if (dir.isEmpty()) {
        return false;
    }
    QFile probe(dir + "/" + FILE_NAME + ".probe");
    if (!create_afresh(probe)) {
        return false;
    }
    probe.close();
    probe.remove();
    return true;
}

// The one folder both the staging file and the firmware file go to.
QString firmware_directory()
{
    const QString first = first_choice_directory();
    if (!system_directory(first) && directory_writable(first)) {
        return first;
    }
    const QString cache = cache_directory();
    if (directory_writable(cache)) {
        return cache;
    }
    const QString temp = private_temp_directory();
    return directory_writable(temp) ? temp : QString();
}

QTextCodec* html_codec(const QString& text)
{
    return QTextCodec::codecForHtml(text.toLatin1());
}

// The answer through the staging file, as the firmware folder keeps it.
bool stage_answer(const QString& staging_path, QString* collected)
{
    QFile staging(staging_path);
    if (!create_afresh(staging)) {
        return false;
    }
    const QString simplified = API_DATA.simplified();
    QTextCodec* codec = html_codec(simplified);
    const QString decoded = codec->toUnicode(simplified.toLatin1());
    {
        QTextStream out(&staging);
        out.setCodec(codec);
        out << decoded;
    }
    staging.close();
    qDebug() << "Finished, the code have written to " << FILE_NAME;

    if (!staging.open(QIODevice::ReadOnly | QIODevice::Text)) {
        staging.remove();
        return false;
    }
    QString text;
    {
        QTextStream in(&staging);
        in.setCodec("utf-8");
        while (!in.atEnd()) {
            text += in.readLine() + "\n";
        }
    }
    text = text.simplified();
    qDebug() << "获取的原始数据" << text;
    staging.close();
    staging.remove();
    *collected = text;
    return true;
}

// The firmware body stored as it arrives, in whole lines, each simplified and
// ended with CR LF, into `<name>.part`: its MD5 and the bytes for the update
// are taken from what is stored. A line split across packets is stored once,
// whole; a line that begins with a zero byte ends the body.
class BodyStore
{
public:
    explicit BodyStore(const QString& path)
        : file_(path + QStringLiteral(".part"))
    {
    }
    ~BodyStore()
    {
        // A transfer that did not finish leaves nothing behind.
        if (file_.isOpen()) {
            file_.close();
        }
        if (!kept_) {
            file_.remove();
        }
    }

    // Starts the file afresh, as a retried transfer does.
    bool restart()
    {
        file_.close();
        stored_.clear();
        pending_.clear();
        hash_.reset();
        ended_ = false;
        failed_ = !create_afresh(file_);
        return !failed_;
    }

    // Takes the whole lines that have arrived; at the end the rest too.
    void take(QNetworkReply* reply, bool at_end)
    {
        pending_ += reply->readAll();
        int start = 0;
        for (int end; !ended_ && !failed_ && (end = pending_.indexOf('\n', start)) >= 0; start = end + 1) {
            store(pending_.mid(start, end + 1 - start));
        }
        pending_.remove(0, start);
        if (at_end && !ended_ && !failed_ && !pending_.isEmpty()) {
            store(pending_);
        }
    }

    // Moves the stored file over `path`, replacing an earlier download.
    bool keep(const QString& path)
    {
        file_.close();
        if (failed_ || file_.error() != QFileDevice::NoError) {
            return false;
        }
        QFile::remove(path);
        kept_ = file_.rename(path);
        return kept_;
    }

    const QByteArray& bytes() const { return stored_; }
    // The file system's words for a file that could not be stored.
    QString error() const { return file_.errorString(); }
    QString md5() const { return QString::fromLatin1(hash_.result().toHex()); }

private:
    void store(QByteArray raw)
    {
        const int zero = raw.indexOf('\0');
        if (zero >= 0) {
            raw.truncate(zero);
        }
        if (raw.isEmpty()) {
            ended_ = true;
            return;
        }
        // A line of plain ASCII (every HEX record) is the same bytes in any
        // codec the text could name; only other lines take the long way.
        const bool plain = std::all_of(raw.cbegin(), raw.cend(), [](char c) { return c > 0 && c != '<'; });
        const QByteArray bytes = plain ? raw.simplified() + "\r\n" : converted(raw);
        failed_ = file_.write(bytes) != bytes.size();
        stored_ += bytes;
        hash_.addData(bytes);
    }

    static QByteArray converted(const QByteArray& raw)
    {
        const QString simplified = QString::fromUtf8(raw).simplified();
        QTextCodec* codec = html_codec(simplified);
        return codec->fromUnicode(codec->toUnicode(simplified.toLatin1()) + QStringLiteral("\r\n"));
    }

    QFile file_;
    QByteArray pending_; // a line not yet whole
    QByteArray stored_;
    QCryptographicHash hash_ {QCryptographicHash::Md5};
    bool ended_ = false;
    bool failed_ = false;
    bool kept_ = false; // renamed over the firmware file: no longer ours to remove
};

} // namespace

QString url_download_file()
{
    FirmwareImage image;
    return fetch_firmware(&image) ? image.path() : QString();
}

bool fetch_firmware(FirmwareImage* image, FetchFailure* why)
{
    // Every failure shows its row's box and gives its facts.
    const auto fail = [why](UpdateFailure which, const QString& detail, const QString& system_error = QString()) {
        qDebug().noquote() << "firmware download failed:" << failure_row(which).name << detail << system_error;
        if (why != nullptr) {
            *why = FetchFailure {which, detail, system_error};
        }
        FailureFacts facts;
        facts.detail = detail;
        facts.system_error = system_error;
        show_auto_box(which, facts);
        return false;
    };
    const QString dir = firmware_directory();
    if (dir.isEmpty()) {
        // Neither the first choice nor a fallback: the first choice is the one to mend.
        return fail(UpdateFailure::FolderUnwritable, first_choice_directory());
    }

    QString collected;
    if (!stage_answer(dir + "/" + FILE_NAME, &collected)) {
        return fail(UpdateFailure::FolderUnwritable, dir);
    }

    ReleaseFields fields;
    if (!parse_release(collected, &fields)) {
        return fail(UpdateFailure::AnswerRefused, QStringLiteral("not understood: \"%1\"").arg(collected.left(120)));
    }
    if (!file_name_acceptable(fields.file_name, dir)) {
        return fail(UpdateFailure::AnswerRefused,
                    QStringLiteral("it names a file that cannot be stored: \"%1\"").arg(fields.file_name));
    }

    // The manager owns its replies; both go when the call returns.
    std::unique_ptr<QNetworkAccessManager> manager(new QNetworkAccessManager());
    QNetworkRequest request(QUrl(fields.address, QUrl::TolerantMode));
    request.setSslConfiguration(firmware_tls_configuration());

    const QString path = dir + "/" + fields.file_name;
    BodyStore store(path);
    ReplyBounds bounds;
    bounds.max_bytes = net_settings().body_max_bytes;
    bounds.deadline_ms = net_settings().body_deadline_ms;
    bounds.take = [&store](QNetworkReply* reply) { store.take(reply, false); };
    const auto transfer = [&]() {
        QNetworkReply* reply = manager->get(request);
        // Read no further ahead than what is stored: a fast server must not
        // fill the memory before the bound is noticed.
        reply->setReadBufferSize(256 * 1024);
        store.restart();
        return reply;
    };
    const int kMaxRetries = 3;
    QString failure;
    QNetworkReply* reply = transfer();
    bool finished = wait_for_reply(reply, &failure, bounds);
    for (int retry = 0; finished && reply->error() == QNetworkReply::UnknownNetworkError && retry < kMaxRetries;
         ++retry) {
        show_notice("未知网络错误,尝试二次联网");
        reply->deleteLater();
        reply = transfer();
        finished = wait_for_reply(reply, &failure, bounds);
    }
    if (!finished || reply->error() != QNetworkReply::NoError) {
        return fail(UpdateFailure::DownloadFailed, failure);
    }

    // The digest and the check are taken over the bytes stored, and those
    // same bytes are what the wallet is sent: the file on disk is a copy.
    store.take(reply, true);
    if (!store.keep(path)) {
        return fail(UpdateFailure::FolderUnwritable, dir, store.error());
    }
    const QByteArray bytes = store.bytes();
    const QString digest = store.md5();
    qDebug() << digest;
    if (fields.web_md5 != digest) {
        return fail(UpdateFailure::DigestMismatch,
                    QStringLiteral("stored %1, the answer says \"%2\"").arg(digest, fields.web_md5));
    }
    qDebug() << "md5值匹配";

    *image = FirmwareImage::fromBytes(bytes, path);
    if (!image->accepted()) {
        return fail(UpdateFailure::DownloadedImageRefused, image->verdict().message());
    }
    return true;
}

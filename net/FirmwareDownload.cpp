#include "net/FirmwareDownload.h"

#include "log/Notice.h"
#include "log/Settings.h"
#include "net/FirmwareGlobals.h"
#include "net/NetWait.h"
#include "net/ServerConfig.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>
#include <QStringList>
#include <QTextCodec>
#include <QTextStream>
#include <QUrl>

#include <memory>

namespace {

QString first_choice_directory()
{
    const QString& dir = settings().firmware_dir;
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir;
}

QString cache_directory()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (!dir.isEmpty())
        QDir().mkpath(dir);
    return dir;
}

// A folder counts as usable when a file can really be created in it.
bool directory_writable(const QString& dir)
{
    if (dir.isEmpty())
        return false;
    QFile probe(dir + "/" + FILE_NAME + ".probe");
    if (!probe.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    probe.close();
    probe.remove();
    return true;
}

QString firmware_directory()
{
    const QString first = first_choice_directory();
    if (directory_writable(first))
        return first;
    const QString cache = cache_directory();
    if (directory_writable(cache))
        return cache;
    return QString();
}

QTextCodec* html_codec(const QString& text)
{
    return QTextCodec::codecForHtml(text.toLatin1());
}

bool file_name_acceptable(const QString& name)
{
    if (name.isEmpty() || name == "." || name == ".." || name == FILE_NAME)
        return false;
    for (const QChar c : name) {
        if (c == '\\' || c == '/' || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

struct ReleaseFields
{
    QString address;
    QString file_name;
    QString web_md5;
};

// Positional parse of the release answer; false when a field it takes is missing.
bool parse_release(const QString& text, ReleaseFields* out)
{
    const QStringList lst = text.split(',');
    for (int i = 0; i < lst.size(); ++i)
        qDebug() << "lst[" << i << "]" << lst.at(i);
    if (lst.size() < 3)
        return false;
    const QStringList url_pieces = lst.at(1).split(':');
    const QStringList md5_pieces = lst.at(2).split(':');
    for (int i = 0; i < url_pieces.size(); ++i)
        qDebug() << i << url_pieces.at(i);
    for (int i = 0; i < md5_pieces.size(); ++i)
        qDebug() << i << md5_pieces.at(i);
    if (url_pieces.size() < 3 || md5_pieces.size() < 2)
        return false;

    QString web_md5 = md5_pieces.at(1).simplified();
    qDebug() << "web_md5的值" << web_md5;
    web_md5.remove('"');
    web_md5.remove('}');
    qDebug() << "web_md5更新后的值" << web_md5;

    // Everything after the member's first ':' is the address, so a port survives.
    const QString value = lst.at(1).section(':', 1);
    QString address = value.simplified();
    qDebug() << address;
    address.remove('"');
    qDebug() << address;

    // The path after "//host[:port]/": its first segment is the folder, the second the file.
    const QStringList parts = url_pieces.at(2).split('/');
    for (int i = 0; i < parts.size(); ++i)
        qDebug() << i << parts.at(i);
    QString file_name;
    const int scheme_end = value.indexOf(QLatin1String("//"));
    if (scheme_end >= 0) {
        const QStringList path_parts = value.mid(scheme_end + 2).split('/');
        if (path_parts.size() > 2)
            file_name = path_parts.at(2);
    }
    file_name.remove('"');
    if (web_md5.isEmpty() || address.isEmpty())
        return false;
    out->address = address;
    out->file_name = file_name;
    out->web_md5 = web_md5;
    return true;
}

// The answer through the staging file, as the firmware folder keeps it.
bool stage_answer(const QString& staging_path, QString* collected)
{
    QFile staging(staging_path);
    if (!staging.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
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
        while (!in.atEnd())
            text += in.readLine() + "\n";
    }
    text = text.simplified();
    qDebug() << "获取的原始数据" << text;
    staging.close();
    staging.remove();
    *collected = text;
    return true;
}

// Each line of the body simplified and ended with CR LF, as the file keeps it.
QByteArray stored_body(QNetworkReply* reply)
{
    QByteArray stored;
    QTextStream out(&stored, QIODevice::WriteOnly);
    for (;;) {
        QByteArray raw = reply->readLine();
        const int zero = raw.indexOf('\0');
        if (zero >= 0)
            raw.truncate(zero);
        const QString line = QString::fromUtf8(raw);
        if (line.isEmpty())
            break;
        const QString simplified = line.simplified();
        QTextCodec* codec = html_codec(simplified);
        out.setCodec(codec);
        out << codec->toUnicode(simplified.toLatin1()) << "\r\n";
    }
    out.flush();
    return stored;
}

bool write_file(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool ok = file.write(bytes) == bytes.size();
    file.close();
    return ok && file.error() == QFileDevice::NoError;
}

} // namespace

QString url_download_file()
{
    FirmwareImage image;
    return fetch_firmware(&image) ? image.path() : QString();
}

bool fetch_firmware(FirmwareImage* image, QString* reason)
{
    // Every failure tells the user with its box and gives its reason.
    const auto fail = [reason](const char* box, const QString& why) {
        qDebug().noquote() << "firmware download failed:" << why;
        if (reason != nullptr)
            *reason = why;
        show_notice(QString::fromUtf8(box));
        return false;
    };
    const QString dir = firmware_directory();
    if (dir.isEmpty())
        return fail("文件打开失败", QStringLiteral("no folder to keep the firmware in can be written"));

    QString collected;
    if (!stage_answer(dir + "/" + FILE_NAME, &collected))
        return fail("文件打开失败", QStringLiteral("the release answer cannot be staged in %1").arg(dir));

    ReleaseFields fields;
    if (!parse_release(collected, &fields))
        return fail("获取固件信息失败",
                    QStringLiteral("the release answer is not understood: \"%1\"").arg(collected.left(120)));
    if (!file_name_acceptable(fields.file_name))
        return fail(
            "文件下载错误",
            QStringLiteral("the release answer names a file that cannot be stored: \"%1\"").arg(fields.file_name));

    // The manager owns its replies; both go when the call returns.
    std::unique_ptr<QNetworkAccessManager> manager(new QNetworkAccessManager());
    QNetworkRequest request(QUrl(fields.address, QUrl::TolerantMode));
    request.setSslConfiguration(firmware_tls_configuration());

    const int kMaxRetries = 3;
    QString failure;
    QNetworkReply* reply = manager->get(request);
    bool finished = wait_for_reply(reply, &failure);
    for (int retry = 0; finished && reply->error() == QNetworkReply::UnknownNetworkError && retry < kMaxRetries;
         ++retry) {
        show_notice("未知网络错误,尝试二次联网");
        reply->deleteLater();
        reply = manager->get(request);
        finished = wait_for_reply(reply, &failure);
    }
    if (!finished || reply->error() != QNetworkReply::NoError)
        return fail("网络连接出错", QStringLiteral("downloading ") + failure);

    // The digest and the check are taken over the bytes kept in memory, and
    // those same bytes are what the wallet is sent: the file on disk is a copy.
    const QString path = dir + "/" + fields.file_name;
    const QByteArray bytes = stored_body(reply);
    if (!write_file(path, bytes))
        return fail("文件打开失败", QStringLiteral("the firmware cannot be written to %1").arg(path));
    const QString digest = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
    qDebug() << digest;
    if (fields.web_md5 != digest)
        return fail("文件下载错误",
                    QStringLiteral("the firmware's MD5 is %1, the release answer says %2").arg(digest, fields.web_md5));
    qDebug() << "md5值匹配";

    *image = FirmwareImage::fromBytes(bytes, path);
    if (!image->accepted())
        return fail("固件文件格式错误",
                    QStringLiteral("the firmware image is refused: %1").arg(image->verdict().message()));
    return true;
}

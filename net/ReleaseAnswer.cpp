#include "net/ReleaseAnswer.h"

#include "net/FirmwareGlobals.h"

#include <QDebug>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

// The firmware file may only ever be a plain name of our own in the firmware
// folder: it must not name a neighbour of the program (another program, a
// library, a configuration file), only an earlier firmware download.
bool file_name_acceptable(const QString& name, const QString& dir)
{
    if (name.isEmpty() || name.size() > 128 || name.startsWith('.') || name == FILE_NAME) {
        return false;
    }
    for (const QChar c : name) {
        const bool plain = c.unicode() < 128 && (c.isLetterOrNumber() || c == '.' || c == '_' || c == '-');
        if (!plain) {
            return false;
        }
    }
    return !QFileInfo::exists(dir + "/" + name) || name.endsWith(QLatin1String(".hex"), Qt::CaseInsensitive);
}

// Positional parse of the release answer; false when a field it takes is missing.
bool parse_release(const QString& text, ReleaseFields* out)
{
    const QStringList lst = text.split(',');
    for (int i = 0; i < lst.size(); ++i) {
        qDebug() << "lst[" << i << "]" << lst.at(i);
    }
    if (lst.size() < 3) {
        return false;
    }
    const QStringList url_pieces = lst.at(1).split(':');
    const QStringList md5_pieces = lst.at(2).split(':');
    for (int i = 0; i < url_pieces.size(); ++i) {
        qDebug() << i << url_pieces.at(i);
    }
    for (int i = 0; i < md5_pieces.size(); ++i) {
        qDebug() << i << md5_pieces.at(i);
    }
    if (url_pieces.size() < 3 || md5_pieces.size() < 2) {
        return false;
    }

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
    for (int i = 0; i < parts.size(); ++i) {
        qDebug() << i << parts.at(i);
    }
    QString file_name;
    const int scheme_end = value.indexOf(QLatin1String("//"));
    if (scheme_end >= 0) {
        const QStringList path_parts = value.mid(scheme_end + 2).split('/');
        if (path_parts.size() > 2) {
            file_name = path_parts.at(2);
        }
    }
    file_name.remove('"');
    // Blanks around a member (an answer written one member a line) are not part of it.
    web_md5 = web_md5.trimmed();
    address = address.trimmed();
    file_name = file_name.trimmed();
    if (web_md5.isEmpty() || address.isEmpty() || file_name.isEmpty()) {
        return false;
    }
    // Only the web: a file:// or ftp:// address would copy anything there is.
    const QString scheme = QUrl(address, QUrl::TolerantMode).scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        return false;
    }
    out->address = address;
    out->file_name = file_name;
    out->web_md5 = web_md5;
    return true;
}

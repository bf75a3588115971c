// Any text as the firmware server's release answer.
#include "FuzzTarget.h"
#include "net/ReleaseAnswer.h"

#include <QDir>
#include <QUrl>

FUZZ_TARGET(release_answer)
{
    // The parse traces every piece it finds; a fuzzer's millions would drown the output.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    ReleaseFields fields;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(size));
    if (parse_release(text, &fields)) {
        FUZZ_CHECK(!fields.web_md5.isEmpty() && !fields.file_name.isEmpty());
        const QString scheme = QUrl(fields.address, QUrl::TolerantMode).scheme().toLower();
        FUZZ_CHECK(scheme == QLatin1String("http") || scheme == QLatin1String("https"));
    }
    // A name that passes stays a plain name inside the folder.
    const QString name = fields.file_name.isEmpty() ? text : fields.file_name;
    if (file_name_acceptable(name, QDir::tempPath())) {
        FUZZ_CHECK(!name.contains('/') && !name.contains('\\') && !name.startsWith('.') && name.size() <= 128);
    }
    return 0;
}

#include "cli/InfoCommand.h"

#include "cli/FlashTool.h"
#include "image/FirmwareImage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace {

QString hex(unsigned int value, int width)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(width, QLatin1Char('0'));
}

// The segments are written one by one: a file of many short segments makes a
// table of millions of rows, which as one JSON document would take many times
// the file's size in memory. The output is the same as the whole document's.
void print_json(const QString& file, const ImageCheckResult& verdict, const FirmwareImage& image, QTextStream& out)
{
    const QJsonObject root {{QStringLiteral("file"), file},
                            {QStringLiteral("valid"), verdict.valid},
                            {QStringLiteral("error"), verdict.valid ? QJsonValue() : QJsonValue(verdict.message())},
                            {QStringLiteral("segments"), QJsonArray()}};
    const QByteArray whole = QJsonDocument(root).toJson(QJsonDocument::Compact);
    // Quotes inside the values are escaped, so this is the key.
    const QByteArray empty = "\"segments\":[]";
    const int at = whole.indexOf(empty) + empty.size() - 1;
    out << whole.left(at);
    for (int i = 0; i < image.segments().size(); ++i) {
        const SegmentInfo& s = image.segments()[i];
        const QJsonObject segment {{QStringLiteral("index"), i},
                                   {QStringLiteral("base"), hex(s.base, 8)},
                                   {QStringLiteral("size"), static_cast<qint64>(s.size)},
                                   {QStringLiteral("lines"), s.lines},
                                   {QStringLiteral("crc"), hex(s.crc, 4)}};
        if (i > 0) {
            out << ',';
        }
        out << QJsonDocument(segment).toJson(QJsonDocument::Compact);
    }
    out << whole.mid(at) << '\n';
}

void print_table(const QString& file, const ImageCheckResult& verdict, const FirmwareImage& image, QTextStream& out)
{
    qint64 bytes = 0;
    for (const SegmentInfo& s : image.segments()) {
        bytes += s.size;
    }
    out << file << ": "
        << (verdict.valid ? QStringLiteral("valid image") : QStringLiteral("refused: ") + verdict.message()) << '\n';
    out << QStringLiteral("%1 segment(s), %2 data bytes in %3 data records\n")
               .arg(image.segments().size())
               .arg(bytes)
               .arg(image.totalRecords());
    if (image.segments().isEmpty()) {
        return;
    }
    out << QStringLiteral("%1  %2  %3  %4  %5\n")
               .arg(QStringLiteral("segment"), -7)
               .arg(QStringLiteral("base"), -10)
               .arg(QStringLiteral("size"), 8)
               .arg(QStringLiteral("lines"), 6)
               .arg(QStringLiteral("crc"));
    for (int i = 0; i < image.segments().size(); ++i) {
        const SegmentInfo& s = image.segments()[i];
        out << QStringLiteral("%1  %2  %3  %4  %5\n")
                   .arg(i, -7)
                   .arg(hex(s.base, 8), -10)
                   .arg(s.size, 8)
                   .arg(s.lines, 6)
                   .arg(hex(s.crc, 4));
    }
}

} // namespace

int run_info(const QString& file, bool json, QTextStream& out, QTextStream& err)
{
    const FirmwareImage image = FirmwareImage::fromFile(file);
    if (!image.readable()) {
        err << "tessaro-flash: cannot read " << file << ": " << image.readError() << '\n';
        return EXIT_USAGE;
    }
    const ImageCheckResult& verdict = image.verdict();
    if (json) {
        print_json(file, verdict, image, out);
    } else {
        print_table(file, verdict, image, out);
    }
    if (!verdict.valid) {
        err << "tessaro-flash: " << file << ": " << verdict.message() << '\n';
        return EXIT_FAILED;
    }
    return EXIT_OK;
}

InfoCommand::InfoCommand()
    : Command({"info",
               {QStringLiteral("FILE.hex")},
               {CliOption::Json},
               "check an Intel HEX image and print its segment table",
               "Checks an Intel HEX image as the writers will and prints its segment table.",
               "info --json fw.hex",
               "0 accepted, 1 refused, 2 usage error or unreadable file."})
{
}

int InfoCommand::run(const CommandCall& call) const
{
    return run_info(call.arguments.first(), call.isSet(CliOption::Json), call.out, call.err);
}

#include "image/ImageCheck.h"

#include "image/HexLines.h"

#include <QSet>

namespace {

QString hex(unsigned int v, int width)
{
    return QStringLiteral("0x") + QString::number(v, 16).toUpper().rightJustified(width, QLatin1Char('0'));
}

QString hex2(unsigned int v)
{
    return hex(v, 2);
}

QString hex4(unsigned int v)
{
    return hex(v, 4);
}

QString hex8(unsigned int v)
{
    return hex(v, 8);
}

QString type_name(unsigned char type)
{
    switch (type) {
    case RECORD_DATA:
        return QStringLiteral("data record (type 00)");
    case RECORD_END_OF_FILE:
        return QStringLiteral("end-of-file record (type 01)");
    case RECORD_EXTENDED_SEGMENT:
        return QStringLiteral("extended segment address record (type 02)");
    case RECORD_START_SEGMENT:
        return QStringLiteral("start segment address record (type 03)");
    case RECORD_EXTENDED_LINEAR:
        return QStringLiteral("extended linear address record (type 04)");
    case RECORD_START_LINEAR:
        return QStringLiteral("start linear address record (type 05)");
    }
    return QStringLiteral("record of type %1").arg(hex2(type));
}

QString with_article(const QString& noun)
{
    const bool vowel = QStringLiteral("aeiou").contains(noun.left(1));
    return (vowel ? QStringLiteral("an ") : QStringLiteral("a ")) + noun;
}

bool is_blank(const char* data, int size)
{
    for (int i = 0; i < size; ++i) {
        if (data[i] != ' ' && data[i] != '\t') {
            return false;
        }
    }
    return true;
}

// The syntax of one record: start code, digits, length, checksum, known type.
QString record_syntax_error(const HexLineReader& reader)
{
    const char* line = reader.data();
    const int size = reader.size();
    if (reader.wasCut()) {
        return QStringLiteral("the line is longer than any Intel HEX record");
    }
    if (size == 0) {
        return QStringLiteral("empty line where a record is expected");
    }
    if (line[0] != ':') {
        return QStringLiteral("missing start code ':'");
    }
    for (int i = 1; i < size; ++i) {
        if (hex_digit_value(line[i]) < 0) {
            const QChar c = QChar::fromLatin1(line[i]);
            const QString shown
                = c.isPrint() ? QStringLiteral("'%1'").arg(c) : hex2(static_cast<unsigned char>(line[i]));
            return QStringLiteral("character %1 at column %2 is not a hexadecimal digit").arg(shown).arg(i + 1);
        }
    }
    const int digits = size - 1;
    if (digits % 2 != 0) {
        return QStringLiteral("the record has an odd number of hexadecimal digits (%1)").arg(digits);
    }
    if (digits < 10) {
        return QStringLiteral("the record has %1 bytes, the shortest record has 5").arg(digits / 2);
    }
    HexRecordView record(line, size);
    const int bytes = digits / 2;
    if (bytes != record.count() + 5) {
        return QStringLiteral("the byte count says %1 data bytes, the record holds %2")
            .arg(record.count())
            .arg(bytes - 5);
    }
    unsigned int sum = 0;
    for (int k = 0; k < bytes - 1; ++k) {
        sum += record.byte(k);
    }
    const unsigned int need = (0x100 - (sum & 0xFF)) & 0xFF;
    const unsigned int given = record.byte(bytes - 1);
    if (given != need) {
        return QStringLiteral("record checksum is %1, the record's bytes need %2").arg(hex2(given), hex2(need));
    }
    if (record.type() > RECORD_START_LINEAR) {
        return QStringLiteral("unknown record type %1").arg(hex2(record.type()));
    }
    return QString();
}

struct Segment
{
    int line = 0;
    unsigned int base = 0;
    int records = 0;
    unsigned int next_offset = 0;
    int short_record_line = 0; // a record under 16 bytes, which must be the segment's last
};

class Checker
{
public:
    ImageCheckResult run(const QByteArray& bytes);

private:
    QString onRecord(const HexRecordView& record, int line);
    QString closeSegment();

    bool in_segment_ = false;
    bool ended_ = false;
    int segments_ = 0;
    long long data_records_ = 0;
    Segment seg_;
    QSet<unsigned int> windows_;
    int fault_line_ = 0;
};

QString Checker::closeSegment()
{
    if (in_segment_ && seg_.records == 0) {
        fault_line_ = seg_.line;
        return QStringLiteral("segment %1 (base %2) holds no data").arg(segments_ - 1).arg(hex8(seg_.base));
    }
    return QString();
}

QString Checker::onRecord(const HexRecordView& record, int line)
{
    const unsigned char type = record.type();
    if (!in_segment_ && type != RECORD_EXTENDED_LINEAR) {
        if (type == RECORD_DATA) {
            return QStringLiteral("data before any extended linear address record (type 04)");
        }
        return QStringLiteral("the image must begin with an extended linear address record (type 04), not %1")
            .arg(with_article(type_name(type)));
    }
    if (type == RECORD_EXTENDED_LINEAR) {
        QString error = closeSegment();
        if (!error.isEmpty()) {
            return error;
        }
        if (record.count() != 2) {
            return QStringLiteral("an extended linear address record must carry 2 bytes, this one carries %1")
                .arg(record.count());
        }
        if (record.offset() != 0) {
            return QStringLiteral("the extended linear address record has load offset %1, it must be 0x0000")
                .arg(hex4(record.offset()));
        }
        seg_ = Segment();
        seg_.line = line;
        seg_.base = record.linearBase();
        seg_.next_offset = segments_ == 0 ? APPLICATION_OFFSET : 0;
        if (windows_.contains(seg_.base)) {
            return QStringLiteral("segment %1 repeats the address window %2 of an earlier segment")
                .arg(segments_)
                .arg(hex8(seg_.base));
        }
        windows_.insert(seg_.base);
        in_segment_ = true;
        ++segments_;
        return QString();
    }
    if (type == RECORD_START_LINEAR) {
        if (data_records_ == 0) {
            return QStringLiteral(
                "the image holds no data: the wallet would be erased and then told the update is finished");
        }
        QString error = closeSegment();
        if (!error.isEmpty()) {
            return error;
        }
        if (record.count() != 4) {
            return QStringLiteral("a start linear address record must carry 4 bytes, this one carries %1")
                .arg(record.count());
        }
        ended_ = true;
        return QString();
    }
    if (type != RECORD_DATA) {
        return QStringLiteral("%1 inside segment %2: only data records may follow an extended linear address record")
            .arg(with_article(type_name(type)))
            .arg(segments_ - 1);
    }
    const unsigned int count = record.count();
    const unsigned int offset = record.offset();
    if (count == 0) {
        return QStringLiteral("the data record holds no bytes");
    }
    if (count > RECORD_MAX_DATA) {
        return QStringLiteral("the data record holds %1 bytes, at most %2 can be sent in one block slot")
            .arg(count)
            .arg(RECORD_MAX_DATA);
    }
    if (seg_.short_record_line != 0) {
        fault_line_ = seg_.short_record_line;
        return QStringLiteral("a data record shorter than 16 bytes must be the last of its segment");
    }
    if (offset != seg_.next_offset) {
        if (seg_.records == 0) {
            return QStringLiteral("segment %1's data begins at offset %2, its CRC check covers data from offset %3")
                .arg(segments_ - 1)
                .arg(hex4(offset), hex4(seg_.next_offset));
        }
        const QString how = offset > seg_.next_offset ? QStringLiteral("leaves a gap after")
                                                      : QStringLiteral("overlaps or steps back from");
        return QStringLiteral("the data record at offset %1 %2 the one before it, which ends at %3")
            .arg(hex4(offset), how, hex4(seg_.next_offset));
    }
    if (count < RECORD_MAX_DATA) {
        seg_.short_record_line = line;
    }
    seg_.next_offset = offset + count;
    ++seg_.records;
    ++data_records_;
    return QString();
}

ImageCheckResult Checker::run(const QByteArray& bytes)
{
    ImageCheckResult result;
    HexLineReader reader(bytes);
    int line = 0;
    while (reader.next()) {
        ++line;
        if (ended_) {
            // After the start address record only the end-of-file record may follow.
            if (is_blank(reader.data(), reader.size()) && !reader.wasCut()) {
                continue;
            }
            QString error = record_syntax_error(reader);
            if (error.isEmpty() && HexRecordView(reader.data(), reader.size()).type() != RECORD_END_OF_FILE) {
                error = QStringLiteral("a record after the start linear address record (type 05) would never be sent");
            }
            if (!error.isEmpty()) {
                result.line = line;
                result.reason = error;
                return result;
            }
            continue;
        }
        QString error = record_syntax_error(reader);
        if (error.isEmpty()) {
            error = onRecord(HexRecordView(reader.data(), reader.size()), line);
        }
        if (!error.isEmpty()) {
            result.line = fault_line_ != 0 ? fault_line_ : line;
            result.reason = error;
            return result;
        }
    }
    if (!ended_) {
        result.line = line + 1;
        result.reason = line == 0 ? QStringLiteral("the file is empty")
                                  : QStringLiteral("the file ends without a start linear address record (type 05)");
        return result;
    }
    result.valid = true;
    return result;
}

} // namespace

QString ImageCheckResult::message() const
{
    if (line > 0) {
        return QStringLiteral("line %1: %2").arg(line).arg(reason);
    }
    return reason;
}

ImageCheckResult check_hex_bytes(const QByteArray& bytes)
{
    return Checker().run(bytes);
}

#pragma once

#include "image/ImageCheck.h"
#include "image/SegmentTable.h"

#include <QByteArray>
#include <QString>
#include <QVector>

class QIODevice;

// An Intel HEX image read once: its bytes, the segment table the reader
// functions give, the check's verdict and each segment's data as the writers
// send it and the CRC covers it. Everything is taken from the same bytes, so a
// file changed or removed after it was read cannot slip between the check and
// the write.
class FirmwareImage
{
public:
    // Files above this size are not read: a full image of the wallet's 1 MiB of
    // flash is under 3 MiB of text.
    static constexpr qint64 kMaxFileSize = 32 * 1024 * 1024;

    FirmwareImage();
    static FirmwareImage fromFile(const QString& path);
    // Reads the device to its end; a read error makes the image unreadable.
    static FirmwareImage fromDevice(QIODevice& device, const QString& name);
    static FirmwareImage fromBytes(const QByteArray& bytes, const QString& name = QString());

    bool readable() const { return readable_; }
    const QString& readError() const { return read_error_; }
    // The file it was read from (or the name it was given).
    const QString& path() const { return path_; }
    const QByteArray& bytes() const { return bytes_; }

    const ImageCheckResult& verdict() const { return verdict_; }
    bool accepted() const { return verdict_.valid; }

    // The reader's segment table: base, data size, data records and CRC.
    const QVector<SegmentInfo>& segments() const { return segments_; }
    int totalRecords() const;
    // An accepted image's segment data with record k at 16·k, as its CRC
    // covers it. A refused image is never sent and holds none.
    const QByteArray& segmentData(int index) const { return data_[index]; }
    // The load offset of an accepted image's segment's first data record:
    // where its data begins.
    unsigned short firstOffset(int index) const { return first_offsets_[index]; }
    // Bytes of segment data held: what an accepted image's records carry, and
    // none for a refused image whatever its records claim.
    qint64 dataBytesHeld() const;

private:
    void analyse();
    void unreadable(const QString& why);

    QString path_;
    QByteArray bytes_;
    bool readable_ = false;
    QString read_error_;
    ImageCheckResult verdict_;
    QVector<SegmentInfo> segments_;
    QVector<QByteArray> data_;
    QVector<unsigned short> first_offsets_;
};

// The check's verdict on a file, read as the writers would read it.
ImageCheckResult check_hex_image(const QString& path);

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Intel HEX records and files for tests, built from their fields so that each
// test states the image it means rather than copying hex text around.
namespace hex {

// One record line with a correct checksum, without its line end.
QByteArray record(unsigned char type, unsigned short offset, const QByteArray& data);
QByteArray extendedLinear(unsigned short upper);
QByteArray startLinear(unsigned int address);
QByteArray endOfFile();

// Data records of `data` from `offset`, 16 bytes each (the last may be shorter).
QList<QByteArray> dataRecords(unsigned short offset, const QByteArray& data);

// A well-formed image: one segment per window given as (upper 16 address bits,
// first offset, data).
struct Window
{
    unsigned short upper;
    unsigned short offset;
    QByteArray data;
};
QList<QByteArray> image(const QList<Window>& windows);

QByteArray pattern(int size, int seed = 1);

// The usual image of the writer tests: the application from 0x08004000 with a
// short last record (21 records), and a second window at 0x08010000 (40).
QList<Window> two_segments();
// A window's first address on the wallet.
unsigned int window_address(const Window& window);

} // namespace hex

// A file in a temporary folder that lives as long as the object.
class TempImage
{
public:
    explicit TempImage(const QList<QByteArray>& lines, const QByteArray& lineEnd = "\n");
    explicit TempImage(const QByteArray& contents);
    QString path() const { return path_; }

private:
    QTemporaryDir dir_;
    QString path_;
};

// The whole of a file, or nothing when it cannot be read.
QByteArray read_file(const QString& path);
// Writes `contents` as the whole of the file at `path`; whether all of it was written.
bool write_file(const QString& path, const QByteArray& contents);

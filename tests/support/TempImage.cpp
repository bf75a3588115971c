#include "support/TempImage.h"

#include <QFile>

namespace hex {

namespace {

// `value` as `size` bytes, most significant first.
QByteArray big_endian(unsigned int value, int size)
{
    return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(2 * size, '0'));
}

} // namespace

QByteArray record(unsigned char type, unsigned short offset, const QByteArray& data)
{
    const QByteArray bytes = big_endian(unsigned(data.size() & 0xFF) << 24 | unsigned(offset) << 8 | type, 4) + data;
    unsigned int sum = 0;
    for (char c : bytes) {
        sum += static_cast<unsigned char>(c);
    }
    return ":" + (bytes + char((0x100 - (sum & 0xFF)) & 0xFF)).toHex().toUpper();
}

QByteArray extendedLinear(unsigned short upper)
{
    return record(0x04, 0, big_endian(upper, 2));
}

QByteArray startLinear(unsigned int address)
{
    return record(0x05, 0, big_endian(address, 4));
}

QByteArray endOfFile()
{
    return record(0x01, 0, QByteArray());
}

QList<QByteArray> dataRecords(unsigned short offset, const QByteArray& data)
{
    QList<QByteArray> lines;
    for (int at = 0; at < data.size(); at += 16) {
        lines << record(0x00, static_cast<unsigned short>(offset + at), data.mid(at, 16));
    }
    return lines;
}

QList<QByteArray> image(const QList<Window>& windows)
{
    QList<QByteArray> lines;
    for (const Window& w : windows) {
        lines << extendedLinear(w.upper);
        lines << dataRecords(w.offset, w.data);
    }
    const unsigned int start
        = windows.isEmpty() ? 0 : (unsigned int)windows.first().upper << 16 | windows.first().offset;
    lines << startLinear(start) << endOfFile();
    return lines;
}

QList<Window> two_segments()
{
    return {{0x0800, 0x4000, pattern(20 * 16 + 8, 3)}, {0x0801, 0x0000, pattern(40 * 16, 7)}};
}

unsigned int window_address(const Window& window)
{
    return static_cast<unsigned int>(window.upper) << 16 | window.offset;
}

QByteArray pattern(int size, int seed)
{
    QByteArray out(size, '\0');
    unsigned int x = static_cast<unsigned int>(seed) * 2654435761u + 1;
    for (int i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = static_cast<char>(x >> 16);
    }
    return out;
}

} // namespace hex

TempImage::TempImage(const QList<QByteArray>& lines, const QByteArray& lineEnd)
    : TempImage(lines.isEmpty() ? QByteArray() : lines.join(lineEnd) + lineEnd)
{
}

TempImage::TempImage(const QByteArray& contents)
{
    path_ = dir_.filePath(QStringLiteral("image.hex"));
    write_file(path_, contents);
}

QByteArray read_file(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool write_file(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size();
}

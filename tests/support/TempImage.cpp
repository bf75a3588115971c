#include "support/TempImage.h"

#include <QFile>

namespace hex {

QByteArray record(unsigned char type, unsigned short offset, const QByteArray& data)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(data.size()));
    bytes.append(static_cast<char>(offset >> 8));
    bytes.append(static_cast<char>(offset & 0xFF));
    bytes.append(static_cast<char>(type));
    bytes.append(data);
    unsigned int sum = 0;
    for (char c : bytes) {
        sum += static_cast<unsigned char>(c);
    }
    bytes.append(static_cast<char>((0x100 - (sum & 0xFF)) & 0xFF));
    return ":" + bytes.toHex().toUpper();
}

QByteArray extendedLinear(unsigned short upper)
{
    QByteArray d;
    d.append(static_cast<char>(upper >> 8));
    d.append(static_cast<char>(upper & 0xFF));
    return record(0x04, 0, d);
}

QByteArray startLinear(unsigned int address)
{
    QByteArray d;
    for (int shift = 24; shift >= 0; shift -= 8) {
        d.append(static_cast<char>((address >> shift) & 0xFF));
    }
    return record(0x05, 0, d);
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
    : TempImage(lines.isEmpty() ? QByteArray() : [&] {
        QByteArray all;
        for (const QByteArray& l : lines) {
            all += l + lineEnd;
        }
        return all;
    }())
{
}

TempImage::TempImage(const QByteArray& contents)
{
    path_ = dir_.filePath(QStringLiteral("image.hex"));
    QFile file(path_);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(contents);
    }
}

QByteArray read_file(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

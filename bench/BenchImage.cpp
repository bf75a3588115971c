#include "BenchImage.h"

#include <QFile>

namespace {

QByteArray record(unsigned char type, unsigned int offset, const unsigned char* data, int n)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(n));
    bytes.append(static_cast<char>(offset >> 8));
    bytes.append(static_cast<char>(offset));
    bytes.append(static_cast<char>(type));
    bytes.append(reinterpret_cast<const char*>(data), n);
    unsigned int sum = 0;
    for (char c : bytes) {
        sum += static_cast<unsigned char>(c);
    }
    bytes.append(static_cast<char>(-sum));
    return ":" + bytes.toHex().toUpper() + "\n";
}

} // namespace

QString write_bench_image(const QString& folder, int bytes)
{
    const QString path = folder + QStringLiteral("/bench-%1.hex").arg(bytes);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return QString();
    }
    unsigned int address = 0x08004000;
    unsigned int window = 0xFFFFFFFF;
    unsigned int x = 12345;
    for (int at = 0; at < bytes; at += 16) {
        if ((address >> 16) != window) {
            window = address >> 16;
            const unsigned char upper[2]
                = {static_cast<unsigned char>(window >> 8), static_cast<unsigned char>(window)};
            file.write(record(0x04, 0, upper, 2));
        }
        unsigned char data[16];
        const int n = bytes - at < 16 ? bytes - at : 16;
        for (int i = 0; i < n; ++i) {
            x = x * 1103515245u + 12345u;
            data[i] = static_cast<unsigned char>(x >> 16);
        }
        file.write(record(0x00, address & 0xFFFF, data, n));
        address += n;
    }
    const unsigned char start[4] = {0x08, 0x00, 0x40, 0x00};
    file.write(record(0x05, 0, start, 4));
    file.write(record(0x01, 0, nullptr, 0));
    return path;
}

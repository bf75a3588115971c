#include "image/HexLines.h"

#include <algorithm>

HexLineReader::HexLineReader(const QString& path)
    : file_(path)
{
    file_.open(QIODevice::ReadOnly);
}

bool HexLineReader::next()
{
    size_ = 0;
    cut_ = false;
    if (!file_.isOpen()) {
        return false;
    }
    qint64 got = file_.readLine(buffer_, sizeof buffer_);
    if (got <= 0) {
        return false;
    }
    size_ = static_cast<int>(got);
    if (buffer_[size_ - 1] == '\n') {
        --size_;
    } else if (!file_.atEnd()) {
        // The buffer filled before the line ended: keep the head, skip the rest.
        cut_ = true;
        char rest[256];
        qint64 more;
        while ((more = file_.readLine(rest, sizeof rest)) > 0 && rest[more - 1] != '\n') { }
        size_ = std::min(size_, kMaxLine);
    }
    if (size_ > 0 && buffer_[size_ - 1] == '\r') {
        --size_;
    }
    return true;
}

int hex_digit_value(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

unsigned char HexRecordView::byte(int k) const
{
    const long long pos = 2LL * k + 1;
    if (k < 0 || pos + 1 >= size_) {
        return 0;
    }
    const int high = hex_digit_value(line_[pos]);
    const int low = hex_digit_value(line_[pos + 1]);
    if (high < 0 || low < 0) {
        return 0;
    }
    return static_cast<unsigned char>(high << 4 | low);
}

int HexRecordView::copyData(unsigned char* dest, long long room) const
{
    const int n = static_cast<int>(std::max(0LL, std::min<long long>(count(), room)));
    for (int i = 0; i < n; ++i) {
        dest[i] = dataByte(i);
    }
    return n;
}

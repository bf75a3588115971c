#include "image/HexLines.h"

#include <algorithm>
#include <cstring>

HexLineReader::HexLineReader(const QByteArray& bytes)
    : pos_(bytes.constData())
    , end_(bytes.constData() + bytes.size())
{
}

bool HexLineReader::next()
{
    if (pos_ >= end_) {
        line_ = nullptr;
        size_ = 0;
        cut_ = false;
        return false;
    }
    const auto* newline = static_cast<const char*>(std::memchr(pos_, '\n', static_cast<size_t>(end_ - pos_)));
    const char* stop = newline != nullptr ? newline : end_;
    line_ = pos_;
    long long length = stop - pos_;
    pos_ = newline != nullptr ? newline + 1 : end_;
    if (length > 0 && line_[length - 1] == '\r') {
        --length;
    }
    cut_ = length > kMaxLine;
    size_ = static_cast<int>(std::min<long long>(length, kMaxLine));
    return true;
}

namespace {

// Digit values by character, -1 for anything else: every byte of an image
// passes through here several times.
struct DigitValues
{
    signed char value[256];
    DigitValues()
    {
        for (int c = 0; c < 256; ++c) {
            value[c] = -1;
        }
        for (int c = '0'; c <= '9'; ++c) {
            value[c] = static_cast<signed char>(c - '0');
        }
        for (int c = 'A'; c <= 'F'; ++c) {
            value[c] = static_cast<signed char>(c - 'A' + 10);
            value[c + ('a' - 'A')] = static_cast<signed char>(c - 'A' + 10);
        }
    }
};
const DigitValues digit_values;

} // namespace

int hex_digit_value(char c)
{
    return digit_values.value[static_cast<unsigned char>(c)];
}

unsigned char HexRecordView::byte(int k) const
{
    const long long pos = 2LL * k + 1;
    if (k < 0 || pos + 1 >= size_) {
        return 0;
    }
    const signed char* values = digit_values.value;
    const int high = values[static_cast<unsigned char>(line_[pos])];
    const int low = values[static_cast<unsigned char>(line_[pos + 1])];
    if ((high | low) < 0) {
        return 0;
    }
    return static_cast<unsigned char>(high << 4 | low);
}

int HexRecordView::copyData(unsigned char* dest, long long room) const
{
    const int n = static_cast<int>(std::max(0LL, std::min<long long>(count(), room)));
    // The pairs that lie wholly inside the line are decoded in one pass; a
    // short line leaves the rest to byte(), which reads them as 0.
    const int whole = static_cast<int>(std::max(0LL, std::min<long long>(n, (size_ - 10) / 2)));
    const signed char* values = digit_values.value;
    const char* pair = line_ + 9;
    for (int i = 0; i < whole; ++i, pair += 2) {
        const int high = values[static_cast<unsigned char>(pair[0])];
        const int low = values[static_cast<unsigned char>(pair[1])];
        dest[i] = (high | low) < 0 ? 0 : static_cast<unsigned char>(high << 4 | low);
    }
    // Past the line's last pair every byte reads as 0: a short line that claims
    // many bytes costs one fill, not a look at each.
    const int reached = static_cast<int>(std::max<long long>(whole, std::min<long long>(n, (size_ - 9) / 2)));
    for (int i = whole; i < reached; ++i) {
        dest[i] = dataByte(i);
    }
    std::memset(dest + reached, 0, static_cast<size_t>(n - reached));
    return n;
}

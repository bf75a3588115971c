#include "sim/FrameAssembler.h"

#include "sim/WireFormat.h"

namespace sim {

using namespace wire;

void FrameAssembler::reset()
{
    active_ = false;
    length_ = 0;
    next_sequence_ = 0;
    payload_.clear();
}

FrameAssembler::Result FrameAssembler::fail(const QString& why)
{
    problem_ = why;
    reset();
    return Result::Malformed;
}

FrameAssembler::Result FrameAssembler::feed(const unsigned char* report)
{
    if (report[0] != 0x00) {
        return fail(QStringLiteral("report number %1 instead of 0").arg(report[0]));
    }
    if (report[1] != kFrameTag) {
        return fail(QStringLiteral("frame tag 0x%1").arg(report[1], 2, 16, QLatin1Char('0')));
    }
    if (report[2] != 0x00 || report[4] != 0x00) {
        return fail(QStringLiteral("reserved header byte set"));
    }
    return report[5] == 0 ? feedFirst(report) : feedContinuation(report);
}

// The end marker right after the carried bytes, zeros from there to the end.
bool FrameAssembler::checkTail(const unsigned char* report, int marker_at)
{
    if (report[marker_at] != kFrameEnd) {
        problem_ = QStringLiteral("end marker missing at byte %1").arg(marker_at);
        return false;
    }
    for (int i = marker_at + 1; i < kOutputBufferSize; ++i) {
        if (report[i] != 0) {
            problem_ = QStringLiteral("padding byte %1 is not zero").arg(i);
            return false;
        }
    }
    return true;
}

FrameAssembler::Result FrameAssembler::feedFirst(const unsigned char* report)
{
    if (active_) {
        return fail(QStringLiteral("new command 0x%1 while 0x%2 is incomplete")
                        .arg(report[3], 2, 16, QLatin1Char('0'))
                        .arg(code_, 2, 16, QLatin1Char('0')));
    }
    if (report[6] != 0) {
        return fail(QStringLiteral("reserved byte 6 set in first report"));
    }
    const int length = report[7];
    const int carried = length < kFirstReportPayload ? length : kFirstReportPayload;
    if (!checkTail(report, 8 + carried)) {
        return fail(problem_);
    }
    code_ = report[3];
    length_ = length;
    payload_ = QByteArray(reinterpret_cast<const char*>(report + 8), carried);
    if (carried == length) {
        active_ = false;
        return Result::Complete;
    }
    active_ = true;
    next_sequence_ = 1;
    return Result::Pending;
}

FrameAssembler::Result FrameAssembler::feedContinuation(const unsigned char* report)
{
    if (!active_) {
        return fail(QStringLiteral("continuation %1 without a first report").arg(report[5]));
    }
    if (report[3] != code_) {
        return fail(QStringLiteral("command code changed from 0x%1 to 0x%2")
                        .arg(code_, 2, 16, QLatin1Char('0'))
                        .arg(report[3], 2, 16, QLatin1Char('0')));
    }
    if (report[5] != next_sequence_) {
        return fail(QStringLiteral("sequence %1 where %2 was due").arg(report[5]).arg(next_sequence_));
    }
    const int left = length_ - payload_.size();
    const int carried = left < kContinuationPayload ? left : kContinuationPayload;
    if (!checkTail(report, 6 + carried)) {
        return fail(problem_);
    }
    payload_.append(reinterpret_cast<const char*>(report + 6), carried);
    if (payload_.size() == length_) {
        active_ = false;
        return Result::Complete;
    }
    ++next_sequence_;
    return Result::Pending;
}

} // namespace sim

#include "app/UpdateStatusLine.h"

#include <QLabel>

#include <algorithm>

namespace {

// The time left is estimated once this share of the reports is out: the pace
// of the first few says little.
constexpr int kEstimatePercent = 5;

constexpr int kCloseAnswerMs = 3000;

// At most this wide: the window at its smallest keeps the button in its middle
// with a line this wide on either side.
constexpr int kMaxWidth = 250;

QString kib(qint64 bytes, qint64 total_bytes)
{
    // Small images in tenths, so the count moves.
    return QString::number(double(bytes) / 1024.0, 'f', total_bytes < 10 * 1024 ? 1 : 0);
}

} // namespace

UpdateStatusLine::UpdateStatusLine(QLabel* label)
    : QObject(label)
    , label_(label)
{
    // Wide enough for the longest line of an image the wallet can hold, where
    // the window leaves room for it.
    const qint64 largest = 1024 * 1024;
    QStringList texts {writeText(largest, largest, 89 * 1000), closeRefusedText()};
    for (UpdateStep step : {UpdateStep::ReleaseQuery, UpdateStep::Download, UpdateStep::Verify,
                            UpdateStep::BootloaderEntry, UpdateStep::Erase, UpdateStep::Crc, UpdateStep::Finish}) {
        texts << stepText(step);
    }
    for (const FailureRow& row : failure_table()) {
        texts << outcomeText(row.failure);
    }
    int width = 0;
    for (const QString& text : qAsConst(texts)) {
        width = std::max(width, label_->fontMetrics().horizontalAdvance(text));
    }
    label_->setFixedWidth(std::min(kMaxWidth, width + 2 * label_->margin() + 2 * label_->frameWidth()));
}

QString UpdateStatusLine::closeRefusedText()
{
    return QStringLiteral("正在更新，完成前不能关闭窗口");
}

QString UpdateStatusLine::stepText(UpdateStep step)
{
    switch (step) {
    case UpdateStep::ReleaseQuery:
        return QStringLiteral("正在向服务器查询最新固件…");
    case UpdateStep::Download:
        return QStringLiteral("正在下载固件…");
    case UpdateStep::Verify:
        return QStringLiteral("正在校验固件…");
    case UpdateStep::BootloaderEntry:
    case UpdateStep::BootloaderSearch:
        return QStringLiteral("正在重启钱包…");
    case UpdateStep::Auth:
    case UpdateStep::Erase:
        return QStringLiteral("正在准备写入…");
    case UpdateStep::Write:
        return QStringLiteral("正在写入固件…");
    case UpdateStep::Crc:
        return QStringLiteral("正在校验写入的固件…");
    case UpdateStep::Finish:
        return QStringLiteral("正在完成更新…");
    }
    return QString();
}

// Short, in the words of the failure's box: the box says more.
QString UpdateStatusLine::outcomeText(UpdateFailure failure)
{
    const FailureRow& row = failure_row(failure);
    if (failure == UpdateFailure::None) {
        return row.auto_box + QStringLiteral("，可以拔下钱包");
    }
    const QString said = row.auto_box.isEmpty() ? QStringLiteral("更新失败") : row.auto_box;
    return row.touched ? said : said + QStringLiteral("，钱包未改动");
}

QString UpdateStatusLine::writeText(qint64 done_bytes, qint64 total_bytes, qint64 left_ms)
{
    QString text
        = QStringLiteral("正在写入 %1 / %2 KiB").arg(kib(done_bytes, total_bytes), kib(total_bytes, total_bytes));
    if (left_ms < 0) {
        return text;
    }
    const qint64 seconds = std::max<qint64>(1, (left_ms + 999) / 1000);
    if (seconds < 90) {
        return text + QStringLiteral("，剩余约 %1 秒").arg(seconds);
    }
    return text + QStringLiteral("，剩余约 %1 分钟").arg((seconds + 30) / 60);
}

void UpdateStatusLine::stepStarted(UpdateStep step)
{
    step_ = step;
    show(stepText(step));
}

void UpdateStatusLine::received(qint64 bytes)
{
    // The release answer is too small to count.
    if (step_ == UpdateStep::Download) {
        show(stepText(step_) + QStringLiteral(" %1 KiB").arg(kib(bytes, bytes)));
    }
}

void UpdateStatusLine::serverSilent()
{
    show(silentServerText());
}

QString UpdateStatusLine::silentServerText()
{
    return QStringLiteral("正在等待服务器响应…");
}

void UpdateStatusLine::dataStarted(int records, int reports)
{
    (void)records;
    (void)reports;
    write_clock_.start();
    show(writeText(0, image_bytes_, -1));
}

void UpdateStatusLine::reportsSent(int sent, int total)
{
    if (total <= 0) {
        return;
    }
    const qint64 done = image_bytes_ * sent / total;
    qint64 left_ms = -1;
    if (sent * 100 >= total * kEstimatePercent && sent >= 2) {
        left_ms = write_clock_.elapsed() * (total - sent) / sent;
    }
    show(writeText(done, image_bytes_, left_ms));
}

void UpdateStatusLine::finished(const UpdateOutcome& outcome)
{
    close_answer_.invalidate();
    show(outcomeText(outcome.failure));
}

void UpdateStatusLine::closeRefused()
{
    close_answer_.invalidate();
    show(closeRefusedText());
    close_answer_.start();
}

void UpdateStatusLine::show(const QString& text)
{
    // The answer to a close request stays long enough to be read; the
    // progress after it would replace it at once.
    if (close_answer_.isValid() && close_answer_.elapsed() < kCloseAnswerMs) {
        return;
    }
    const QString shown = label_->fontMetrics().elidedText(text, Qt::ElideRight, label_->contentsRect().width());
    if (shown == label_->text()) {
        return;
    }
    label_->setText(shown);
    label_->setToolTip(shown != text ? text : QString());
    emit said(text);
}

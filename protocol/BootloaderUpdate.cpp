#include "protocol/BootloaderUpdate.h"

#include "image/Checksums.h"
#include "image/FirmwareImage.h"
#include "log/StopRequest.h"
#include "protocol/BlockWriter.h"
#include "protocol/Framing.h"
#include "protocol/UpdateObserver.h"

namespace {

class Update
{
public:
    explicit Update(hid_device_* device)
        : device_(device)
    {
    }

    // Sends one command; on failure `failure` becomes the outcome, with the
    // report that did not go out and hidapi's reason.
    bool send(unsigned char command, int length, const unsigned char* payload, UpdateFailure failure)
    {
        if (send_command(device_, command, length, payload, &reports_)) {
            return true;
        }
        fail(failure);
        return false;
    }

    // True, with the stop as the outcome, when the operator asked to stop at
    // the next block boundary: `before` is the command that will not go out.
    bool stopping(const QString& before)
    {
        if (!stop_requested(StopLevel::AtBlockBoundary)) {
            return false;
        }
        outcome_ = UpdateOutcome::stopped(before, erased_);
        return true;
    }

    void fail(UpdateFailure failure, int segment = -1)
    {
        outcome_ = UpdateOutcome::failed(failure);
        outcome_.segment = segment;
        outcome_.report = reports_ + 1;
        outcome_.device_error = device_error_text(device_);
    }

    hid_device_* device_;
    UpdateOutcome outcome_;
    bool erased_ = false; // the erase went out: the wallet may hold no firmware
    int reports_ = 0;
};

} // namespace

UpdateOutcome image_outcome(const FirmwareImage& image)
{
    UpdateOutcome outcome;
    if (!image.readable()) {
        outcome = UpdateOutcome::failed(UpdateFailure::ImageUnreadable, image.readError());
    } else if (!image.accepted()) {
        outcome = UpdateOutcome::failed(UpdateFailure::ImageRefused, image.verdict().message());
    } else if (image.totalRecords() == 0) {
        // An update that sends no data would erase the wallet and call it done.
        outcome = UpdateOutcome::failed(UpdateFailure::ImageRefused, QStringLiteral("the image holds no data"));
    }
    if (!outcome.ok()) {
        outcome.file = image.path();
    }
    return outcome;
}

UpdateOutcome update_bootloader(hid_device_* bootloader, const FirmwareImage& image, UpdateObserver& observer,
                                const UpdateOptions& options)
{
    const UpdateOutcome verdict = image_outcome(image);
    if (!verdict.ok()) {
        return verdict;
    }
    Update update(bootloader);

    if (update.stopping(QStringLiteral("before the authentication"))) {
        return update.outcome_;
    }
    observer.stepStarted(UpdateStep::Auth);
    unsigned char nonce[AUTH_NONCE_SIZE];
    GetHexData(nonce, AUTH_NONCE_SIZE);
    unsigned char auth[AUTH_PAYLOAD_SIZE];
    build_auth_payload(nonce, auth);
    if (!update.send(CMD_AUTH, AUTH_PAYLOAD_SIZE, auth, UpdateFailure::AuthNotSent)) {
        return update.outcome_;
    }

    if (update.stopping(QStringLiteral("before the erase"))) {
        return update.outcome_;
    }
    observer.stepStarted(UpdateStep::Erase);
    // Input already waiting is not the erase's answer.
    drop_pending_input(bootloader);
    unsigned char erase[ERASE_PAYLOAD_SIZE];
    build_erase_payload(erase);
    update.erased_ = true;
    if (!update.send(CMD_ERASE, ERASE_PAYLOAD_SIZE, erase, UpdateFailure::EraseNoReply)) {
        observer.eraseAnswered(false);
        return update.outcome_;
    }
    const ReplyOutcome erased = read_reply(bootloader, CMD_ERASE, options.erase_reply_buffer);
    observer.eraseAnswered(erased != ReplyOutcome::NoReply);
    if (erased != ReplyOutcome::Success) {
        update.fail(erased == ReplyOutcome::NoReply ? UpdateFailure::EraseNoReply : UpdateFailure::EraseRefused);
        return update.outcome_;
    }

    if (update.stopping(QStringLiteral("before the write"))) {
        return update.outcome_;
    }
    observer.stepStarted(UpdateStep::Write);
    observer.dataStarted(image.totalRecords(), image_data_reports(image));
    switch (write_image_blocks(bootloader, image, observer, &update.reports_)) {
    case BlockWrite::Sent:
        break;
    case BlockWrite::Failed:
        update.fail(UpdateFailure::WriteFailed);
        return update.outcome_;
    case BlockWrite::Stopped:
        update.stopping(QStringLiteral("between two blocks of the write, after report %1").arg(update.reports_));
        return update.outcome_;
    }

    observer.stepStarted(UpdateStep::Crc);
    const QVector<SegmentInfo>& segments = image.segments();
    for (int i = 0; i < segments.size(); ++i) {
        const unsigned int address = segments[i].base + (i == 0 ? FIRST_SEGMENT_CRC_OFFSET : 0);
        if (update.stopping(QStringLiteral("before the CRC check of segment %1").arg(i))) {
            return update.outcome_;
        }
        unsigned char payload[CRC_PAYLOAD_SIZE];
        build_crc_payload(address, segments[i].size, segments[i].crc, payload);
        if (!update.send(CMD_CHECK_CRC, CRC_PAYLOAD_SIZE, payload, UpdateFailure::CrcNoReply)) {
            update.outcome_.segment = i;
            return update.outcome_;
        }
        const ReplyOutcome checked = read_reply(bootloader, CMD_CHECK_CRC);
        if (checked != ReplyOutcome::Success) {
            update.fail(checked == ReplyOutcome::NoReply ? UpdateFailure::CrcNoReply : UpdateFailure::CrcRefused, i);
            return update.outcome_;
        }
    }

    // The last chance: every check passed, but a stop now leaves the wallet
    // in its bootloader rather than telling it to finish after the stop.
    if (update.stopping(QStringLiteral("before the end of the update"))) {
        return update.outcome_;
    }
    observer.stepStarted(UpdateStep::Finish);
    if (!update.send(CMD_FINISH, 0, nullptr, UpdateFailure::FinishNotSent)) {
        return update.outcome_;
    }
    return UpdateOutcome();
}

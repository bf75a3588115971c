#include "protocol/BootloaderSteps.h"

#include "image/HexReader.h"

#include <memory>

ReplyOutcome erase_application(hid_device_* device, int reply_buffer_size)
{
    drop_pending_input(device);
    unsigned char payload[ERASE_PAYLOAD_SIZE];
    build_erase_payload(payload);
    if (!hid_send_data(device, CMD_ERASE, ERASE_PAYLOAD_SIZE, payload)) {
        return ReplyOutcome::NoReply;
    }
    return read_reply(device, reply_buffer_size);
}

ReplyOutcome check_segment_crcs(hid_device_* device, const QString& path, const QVector<SegmentInfo>& segments)
{
    std::unique_ptr<unsigned short[]> crcs(Get_CRCValueS(path));
    if (!segments.isEmpty() && !crcs) {
        return ReplyOutcome::NoReply;
    }
    for (int i = 0; i < segments.size(); ++i) {
        const unsigned int address = segments[i].base + (i == 0 ? FIRST_SEGMENT_CRC_OFFSET : 0);
        if (!send_crc_data(device, address, segments[i].size, crcs[i])) {
            return ReplyOutcome::NoReply;
        }
        const ReplyOutcome outcome = read_reply(device);
        if (outcome != ReplyOutcome::Success) {
            return outcome;
        }
    }
    return ReplyOutcome::Success;
}

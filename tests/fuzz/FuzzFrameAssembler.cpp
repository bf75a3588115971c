// Any bytes as the output reports the simulated bootloader receives, 65 bytes
// each (the last padded with zeros).
#include "FuzzTarget.h"
#include "sim/FrameAssembler.h"
#include "sim/WireFormat.h"

#include <algorithm>
#include <cstring>

FUZZ_TARGET(frame_assembler)
{
    sim::FrameAssembler assembler;
    int expected = -1; // the payload length the command under way declared
    for (size_t at = 0; at < size; at += sim::wire::kOutputBufferSize) {
        unsigned char report[sim::wire::kOutputBufferSize] = {};
        std::memcpy(report, data + at, std::min<size_t>(sim::wire::kOutputBufferSize, size - at));
        const int declared = report[5] == 0 ? report[7] : expected;
        switch (assembler.feed(report)) {
        case sim::FrameAssembler::Result::Complete:
            FUZZ_CHECK(!assembler.busy() && assembler.payload().size() == declared);
            break;
        case sim::FrameAssembler::Result::Pending:
            FUZZ_CHECK(assembler.busy() && assembler.payload().size() < declared);
            expected = declared;
            break;
        case sim::FrameAssembler::Result::Malformed:
            FUZZ_CHECK(!assembler.busy() && !assembler.problem().isEmpty());
            break;
        }
    }
    return 0;
}

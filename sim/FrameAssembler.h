#pragma once

#include <QByteArray>
#include <QString>

namespace sim {

// Reassembles one command from the output reports the bootloader receives,
// checking every byte of the framing. Anything out of place makes the whole
// command malformed; the assembler then waits for a new first report.
class FrameAssembler
{
public:
    enum class Result { Pending, Complete, Malformed };

    // `report` is a whole 65-byte output buffer, report number first.
    Result feed(const unsigned char* report);

    unsigned char code() const { return code_; }
    // Payload of the command just completed.
    const QByteArray& payload() const { return payload_; }
    // Why the last report was malformed.
    const QString& problem() const { return problem_; }

    bool busy() const { return active_; }
    void reset();

private:
    Result fail(const QString& why);
    Result feedFirst(const unsigned char* report);
    Result feedContinuation(const unsigned char* report);
    bool checkTail(const unsigned char* report, int marker_at);

    bool active_ = false;
    unsigned char code_ = 0;
    int length_ = 0;
    int next_sequence_ = 0;
    QByteArray payload_;
    QString problem_;
};

} // namespace sim

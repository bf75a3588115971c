#pragma once

#include "protocol/UpdateStep.h"

#include <QString>

enum class UpdateFailure {
    None,
    FirmwareNotFetched, // the release query or the download failed; the user has been told
    ImageUnreadable,
    ImageRefused,
    WalletNotFound, // no wallet to restart, or it could not be opened
    EntryNotSent, // CMD_GOTO_ROM not written
    BootloaderNotFound,
    SeveralBootloaders, // more than one new bootloader: which one was restarted is unknown
    AuthNotSent,
    EraseNoReply,
    EraseRefused,
    WriteFailed,
    CrcNoReply,
    CrcRefused,
    FinishNotSent,
};

// What became of an update: the step that failed and why, in terms a front end
// can turn into its own texts.
struct UpdateOutcome
{
    UpdateFailure failure = UpdateFailure::None;
    int segment = -1; // the segment whose CRC check failed
    int report = 0; // the report of this update (from 1) that was not written
    QString device_error; // hidapi's text, where it had one
    QString detail; // the image's refusal, or the device path concerned

    bool ok() const { return failure == UpdateFailure::None; }
    // One line in the user's terms: what failed and why.
    QString reason() const;

    static UpdateOutcome failed(UpdateFailure failure, const QString& detail = QString());
};

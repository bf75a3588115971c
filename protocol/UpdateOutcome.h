#pragma once

#include "log/Failure.h"
#include "protocol/UpdateStep.h"

#include <QString>

// What became of an update: the failure and its facts. The words and the exit
// status of each front end are the failure's row of the failure table.
struct UpdateOutcome
{
    UpdateFailure failure = UpdateFailure::None;
    int segment = -1; // the segment whose CRC check failed
    int report = 0; // the report of this update (from 1) that was not written
    QString device_error; // the system's own words (hidapi's, the file system's), where it had some
    QString detail; // the image's refusal, or the device path, folder or address concerned
    QString file; // the image file concerned, where an image was refused
    QString server_said; // the server's HTTP status, or whose certificate it showed

    bool ok() const { return failure == UpdateFailure::None; }
    // Whether anything was sent to the wallet, and whether it waits erased in
    // its bootloader: the row's facts, except after a stop, which says itself
    // how far the update had come.
    bool touched() const { return stopped_ ? stopped_restarted_ : row().touched; }
    bool erased() const { return stopped_ ? stopped_erased_ : row().erased; }
    const FailureRow& row() const { return failure_row(failure); }
    // The command line's reason, from the row: what failed and why.
    QString reason() const;
    // The manual download's run-log lines, from the row.
    QStringList logLines() const;
    // The facts the row's texts are filled with.
    FailureFacts facts() const;
    // What happened and what to do next, in the wallet owner's words.
    QString cause() const { return failure_cause(failure, facts()); }

    static UpdateOutcome failed(UpdateFailure failure, const QString& detail = QString());
    // A wallet at `path` that could not be opened, hidapi saying `device_error`:
    // for lack of permission, or otherwise.
    static UpdateOutcome unopenable(const QString& path, const QString& device_error);
    // The operator's stop (its signal's row), `where` it came: before anything
    // was sent (`restarted` false), or after the restart, the wallet waiting
    // in its bootloader, `erased` or not.
    static UpdateOutcome stopped(const QString& where, bool erased, bool restarted = true);

private:
    bool stopped_ = false;
    bool stopped_restarted_ = false;
    bool stopped_erased_ = false;
};

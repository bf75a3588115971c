#pragma once

#include "log/ExitStatus.h"
#include "log/Notice.h"

#include <QString>
#include <QStringList>
#include <QVector>

// Every way an update can end. Each has one row in the failure table below,
// which is where every front end takes its words and its exit status from.
// A new failure is a value here and its row in Failure.cpp: the build fails
// until the row is there, and TestFailureTable checks the row is complete.
enum class UpdateFailure {
    None,
    // Before the wallet: the firmware server, its answer, storing the download.
    FolderUnwritable, // the firmware folder cannot be written, or is full
    ReleaseNoAnswer, // network down, connection refused, no answer in time
    ReleaseTlsRefused, // the server's certificate is not trusted
    ReleaseHttpStatus, // the server answered with an HTTP error
    AnswerRefused, // not understood, oversized, or naming a file that cannot be stored
    DownloadFailed, // the firmware transfer failed
    DigestMismatch,
    DownloadedImageRefused,
    // Before the wallet: a local image.
    ImageUnreadable,
    ImageRefused,
    // Before the wallet: finding and opening it.
    NoWallet,
    SeveralWallets, // and none named
    WalletNotConnected, // the advanced window has no wallet connected
    NotCommandInterface, // a path named that is neither a wallet's command interface nor a bootloader
    WalletUnopenable,
    WalletNoPermission,
    WalletBusy, // another process is updating it: nothing was sent
    NoWalletOnPort, // the port named holds no wallet
    // From the restart on, the wallet has been touched.
    EntryNotSent, // CMD_GOTO_ROM not written
    BootloaderNotFound,
    BootloaderNoPermission, // it came, but may not be opened
    SeveralBootloaders, // more than one new bootloader: which one was restarted is unknown
    AuthNotSent,
    EraseNoReply,
    EraseRefused,
    WriteFailed,
    CrcNoReply,
    CrcRefused,
    FinishNotSent,
    // Stopped by the operator, before the restart or at a block boundary:
    // {detail} says where, and what that left of the wallet.
    Interrupted, // SIGINT
    Terminated, // SIGTERM
};

// One failure as each front end tells it. Texts that carry facts of the
// failure are templates: {detail} (the path, folder, address or refusal
// concerned), {because} (" (the system's own words)", or nothing), {segment},
// {report}, and in the command line's reason {hint} (how to get permission).
struct FailureRow
{
    UpdateFailure failure = UpdateFailure::None;
    QString name; // stable, kebab-case: JSON and tests
    QString auto_box; // the automatic window's box titled "提示"; empty: none
    // The advanced window's box, shown before its run-log lines; empty: none.
    NoticeKind manual_box_kind = NoticeKind::Information;
    QString manual_box_title;
    QString manual_box;
    QString manual_status; // the advanced window's status line
    QStringList log_lines; // the manual download's run-log lines, in order
    QString reason; // the command line's reason
    ExitCode exit = EXIT_FAILED;
    bool touched = false; // anything was sent to the wallet
    bool erased = false; // the wallet is (or may be) erased and waits in its bootloader
    // What happened and what to do next, in the wallet owner's words: the
    // informative text of the windows' boxes and the advanced window's reason.
    // A template of {detail}, {file} and {server}.
    QString cause;
};

// The facts of one failure that its texts are filled with.
struct FailureFacts
{
    QString detail; // the path, folder, address, refusal or certificate concerned
    QString system_error; // the system's own words, where it had some
    QString file; // the image file concerned
    QString server_said; // the server's HTTP status, or whose certificate it showed
    int segment = -1;
    int report = 0;
};

// The row of `failure`.
const FailureRow& failure_row(UpdateFailure failure);
// Every row, in the order of the enumeration, UpdateFailure::None first.
const QVector<FailureRow>& failure_table();

// A row's template with the failure's facts filled in; {hint} is left for the
// layer that knows the permission rules.
QString fill_failure_text(QString text, const QString& detail, const QString& system_error = QString(),
                          int segment = -1, int report = 0);
QString fill_failure_text(const QString& text, const FailureFacts& facts);
// The row's cause with the failure's facts filled in.
QString failure_cause(UpdateFailure failure, const FailureFacts& facts = FailureFacts());

// The boxes of the two windows, as the row says, the cause as their
// informative text; nothing when the row has none. A failure's box warns.
void show_auto_box(UpdateFailure failure, const FailureFacts& facts = FailureFacts());
void show_manual_box(UpdateFailure failure, const FailureFacts& facts = FailureFacts());

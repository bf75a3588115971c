#include "protocol/UpdateOutcome.h"

UpdateOutcome UpdateOutcome::failed(UpdateFailure failure, const QString& detail)
{
    UpdateOutcome outcome;
    outcome.failure = failure;
    outcome.detail = detail;
    return outcome;
}

QString UpdateOutcome::reason() const
{
    const QString because = device_error.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(device_error);
    // What became of the wallet, for the failures after it was erased.
    const QString erased = QStringLiteral("; the wallet is erased and waits in its bootloader for another update");
    switch (failure) {
    case UpdateFailure::None:
        return QStringLiteral("the wallet verified every segment and was told to finish");
    case UpdateFailure::FirmwareNotFetched:
        return (detail.isEmpty() ? QStringLiteral("the firmware could not be fetched and verified") : detail)
            + QStringLiteral("; the wallet was not touched");
    case UpdateFailure::ImageUnreadable:
        return QStringLiteral("the image cannot be read: %1; the wallet was not touched").arg(detail);
    case UpdateFailure::ImageRefused:
        return QStringLiteral("the image is refused: %1; the wallet was not touched").arg(detail);
    case UpdateFailure::WalletNotFound:
        return detail.isEmpty()
            ? QStringLiteral("no wallet attached")
            : QStringLiteral("the wallet %1 cannot be opened%2; it was not touched").arg(detail, because);
    case UpdateFailure::EntryNotSent:
        return QStringLiteral("the restart into the bootloader could not be sent%1; the wallet's firmware is unchanged")
            .arg(because);
    case UpdateFailure::BootloaderNotFound:
        return QStringLiteral("the wallet was restarted, but its bootloader did not appear or could not be opened%1; "
                              "nothing was written")
            .arg(because);
    case UpdateFailure::SeveralBootloaders:
        return QStringLiteral("several new bootloaders appeared and the restarted wallet cannot be told apart; "
                              "nothing was written");
    case UpdateFailure::AuthNotSent:
        return QStringLiteral("the authentication could not be sent%1; the wallet was not erased").arg(because);
    case UpdateFailure::EraseNoReply:
        return QStringLiteral("no reply to the erase%1; the wallet may be erased and waits in its bootloader")
            .arg(because);
    case UpdateFailure::EraseRefused:
        return QStringLiteral("the wallet refused the erase; it waits in its bootloader");
    case UpdateFailure::WriteFailed:
        return QStringLiteral("the wallet was gone or refused report %1 during the write%2").arg(report).arg(because)
            + erased;
    case UpdateFailure::CrcNoReply:
        return QStringLiteral("no reply to the CRC check of segment %1%2").arg(segment).arg(because) + erased;
    case UpdateFailure::CrcRefused:
        return QStringLiteral("the wallet refused the CRC check of segment %1").arg(segment) + erased;
    case UpdateFailure::FinishNotSent:
        return QStringLiteral("the end of the update could not be sent%1; the wallet stays in its bootloader")
            .arg(because);
    }
    return QString();
}

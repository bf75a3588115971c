#include "cli/DevicesCommand.h"

#include "cli/FlashTool.h"
#include "cli/WalletListing.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

int run_devices(bool json, QTextStream& out, QTextStream& err)
{
    QList<ListedInterface> entries;
    QString error;
    list_wallet_interfaces(entries, error);
    if (json) {
        QJsonArray devices;
        for (const ListedInterface& entry : qAsConst(entries)) {
            devices.append(QJsonObject {{QStringLiteral("path"), entry.path},
                                        {QStringLiteral("mode"), mode_name(entry.mode)},
                                        {QStringLiteral("product"), entry.product},
                                        {QStringLiteral("interface"), entry.interface_number}});
        }
        out << QJsonDocument(QJsonObject {{QStringLiteral("devices"), devices}}).toJson(QJsonDocument::Compact) << '\n';
    }
    if (entries.isEmpty()) {
        // An empty error text means the bus is empty; otherwise hidapi could not list.
        err << "tessaro-flash: " << (error.isEmpty() ? QStringLiteral("no wallet attached") : error) << '\n';
        return EXIT_NO_WALLET;
    }
    if (json) {
        return EXIT_OK;
    }
    for (const ListedInterface& entry : qAsConst(entries)) {
        out << mode_name(entry.mode) << '\t' << entry.interface_number << '\t' << entry.product << '\t' << entry.path
            << '\n';
    }
    return EXIT_OK;
}

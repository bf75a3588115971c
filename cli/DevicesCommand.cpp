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
    if (!list_wallet_interfaces(entries, error)) {
        err << "tessaro-flash: " << error << '\n';
        return EXIT_FAILED;
    }
    if (json) {
        QJsonArray devices;
        for (const ListedInterface& entry : qAsConst(entries)) {
            devices.append(QJsonObject {{QStringLiteral("path"), entry.path},
                                        {QStringLiteral("mode"), mode_name(entry.mode)},
                                        {QStringLiteral("product"), entry.product},
                                        {QStringLiteral("interface"), entry.interface_number}});
        }
        out << QJsonDocument(QJsonObject {{QStringLiteral("devices"), devices}}).toJson(QJsonDocument::Compact) << '\n';
        return EXIT_OK;
    }
    if (entries.isEmpty()) {
        out << "no Tessaro wallet found\n";
        return EXIT_OK;
    }
    for (const ListedInterface& entry : qAsConst(entries)) {
        out << mode_name(entry.mode) << '\t' << entry.interface_number << '\t' << entry.product << '\t' << entry.path
            << '\n';
    }
    return EXIT_OK;
}

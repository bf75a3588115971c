#include "cli/CliOption.h"

const QVector<CliOptionRow>& cli_options()
{
    static const QVector<CliOptionRow> rows {
        {CliOption::Json,
         {QStringLiteral("json")},
         nullptr,
         "JSON on stdout: the result as one object, or one event a line while a wallet is updated"},
        {CliOption::Verbose,
         {QStringLiteral("v"), QStringLiteral("verbose")},
         nullptr,
         "also print the program's debug trace"},
        {CliOption::Server,
         {QStringLiteral("server")},
         "URL",
         "https:// base address of the firmware server, default https://" TESSARO_FIRMWARE_HOST},
        {CliOption::Ca, {QStringLiteral("ca")}, "FILE", "also trust this PEM CA certificate"},
        {CliOption::Device,
         {QStringLiteral("device")},
         "PATH",
         "the wallet to write, by its HID path as devices lists it; needed when several are attached"},
        {CliOption::Port,
         {QStringLiteral("port")},
         "PORT",
         "the wallet to write, by the USB port devices lists; unlike the path it stays across the restart; "
         "with --all or --watch, repeatable: only the wallets on these ports"},
        {CliOption::All,
         {QStringLiteral("all")},
         nullptr,
         "every wallet attached, side by side; each one taken is erased and rewritten"},
        {CliOption::Watch,
         {QStringLiteral("watch")},
         nullptr,
         "a station: the wallets attached, then each one plugged in, until stopped or --count have ended"},
        {CliOption::Count, {QStringLiteral("count")}, "N", "with --watch: stop once N wallets have ended"},
    };
    return rows;
}

const CliOptionRow& cli_option(CliOption id)
{
    for (const CliOptionRow& row : cli_options()) {
        if (row.id == id) {
            return row;
        }
    }
    // Every id has its row; the table test holds it so.
    return cli_options().first();
}

QString option_synopsis(const CliOptionRow& row)
{
    QStringList names;
    for (const QString& name : row.names) {
        names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    }
    QString text = names.join(QStringLiteral(", "));
    if (row.value_name != nullptr) {
        text += QLatin1Char(' ') + QLatin1String(row.value_name);
    }
    return text;
}

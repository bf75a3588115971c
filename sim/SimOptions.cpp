#include "sim/SimOptions.h"

#include "sim/SimBus.h"
#include "sim/SimWallet.h"

#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <utility>
#include <vector>

#include <vector>

namespace sim {

namespace {

QString& trace_path()
{
    static QString path;
    return path;
}

QString& state_path()
{
    static QString path;
    return path;
}

const char kTrace[] = "trace";
const char kState[] = "state";
const char kRaiseAt[] = "raise-at";
const char kFault[] = "fault";
const char kLinkUs[] = "link-us";
const char kPathStyle[] = "path-style";

const char kSecondWallet[] = "second-wallet";
const char kWallets[] = "wallets";
const char kWalletFault[] = "wallet-fault";
const char kMode[] = "mode";
const char kNoWallet[] = "no-wallet";

// The faults by name, each written once: a flag, or a number with its least value.
struct Flag
{
    const char* name;
    bool Faults::*field;
};
const Flag kFlags[] = {
    {"no-erase-reply", &Faults::no_erase_reply},
    {"refuse-erase", &Faults::refuse_erase},
    {"no-crc-reply", &Faults::no_crc_reply},
    {"no-bootloader", &Faults::no_bootloader},
    {"open-denied", &Faults::open_denied},
    {"bootloader-open-denied", &Faults::bootloader_open_denied},
    {"stray-report", &Faults::stray_report},
    {"stray-before-reply", &Faults::stray_before_reply},
    {"no-port", &Faults::no_port},
    {"no-serial", &Faults::no_serial},
    {"bootloader-serial-differs", &Faults::bootloader_serial_differs},
};
struct Number
{
    const char* name;
    int Faults::*field;
    int minimum;
    const char* placeholder; // N for a count or a time, I for a segment's index
};
const Number kNumbers[] = {
    {"unplug-after", &Faults::unplug_after, 1, "N"},
    {"unplug-at", &Faults::unplug_at, 1, "N"},
    {"write-error-at", &Faults::write_error_at, 1, "N"},
    {"flip-bit-at", &Faults::flip_bit_at, 1, "N"},
    {"no-crc-reply-to", &Faults::no_crc_reply_to, 0, "I"},
    {"refuse-crc", &Faults::refuse_crc, 0, "I"},
    {"reboot-ms", &Faults::reboot_ms, 0, "N"},
    {"reply-delay-ms", &Faults::reply_delay_ms, 0, "N"},
    {"plug-in-ms", &Faults::plug_in_ms, 0, "N"},
    {"pull-ms", &Faults::pull_ms, 1, "N"},
};

// "no-erase-reply, ..., unplug-at=N, no-crc-reply-to=I, ...", for the help and
// for an unknown fault's message.
QString fault_names()
{
    QStringList names;
    for (const Flag& flag : kFlags) {
        names << QLatin1String(flag.name);
    }
    for (const Number& number : kNumbers) {
        names << QStringLiteral("%1=%2").arg(QLatin1String(number.name), QLatin1String(number.placeholder));
    }
    return names.join(QStringLiteral(", "));
}

bool parse_count(const QString& text, int minimum, int* out)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < minimum) {
        return false;
    }
    *out = value;
    return true;
}

// "N:INT" or "N:TERM": the signal to raise as report N is written.
bool parse_raise(const QString& spec, int* report, int* signal)
{
    const QStringList parts = spec.split(QLatin1Char(':'));
    if (parts.size() != 2 || !parse_count(parts[0], 0, report)) {
        return false;
    }
    if (parts[1] == QLatin1String("INT")) {
        *signal = SIGINT;
    } else if (parts[1] == QLatin1String("TERM")) {
        *signal = SIGTERM;
    } else {
        return false;
    }
    return true;
}

QString mode_name(Mode mode)
{
    switch (mode) {
    case Mode::Application:
        return QStringLiteral("application");
    case Mode::Bootloader:
        return QStringLiteral("bootloader");
    case Mode::Unplugged:
        break;
    }
    return QStringLiteral("unplugged");
}

// What each wallet ended with, for the caller to check.
bool write_state(const QString& path)
{
    Bus& bus = Bus::instance();
    QJsonArray wallets;
    for (int i = 0; i < bus.walletCount(); ++i) {
        auto& wallet = static_cast<SimWallet&>(bus.wallet(i));
        QJsonArray errors;
        for (const QString& error : wallet.errors()) {
            errors.append(error);
        }
        const QByteArray firmware = wallet.firmware();
        wallets.append(
            QJsonObject {{QStringLiteral("serial"), wallet.serial()},
                         {QStringLiteral("mode"), mode_name(wallet.mode())},
                         {QStringLiteral("firmware_updates"), wallet.firmwareUpdates()},
                         {QStringLiteral("firmware_size"), firmware.size()},
                         {QStringLiteral("firmware_md5"),
                          QString::fromLatin1(QCryptographicHash::hash(firmware, QCryptographicHash::Md5).toHex())},
                         {QStringLiteral("reports"), wallet.reportsReceived()},
                         {QStringLiteral("errors"), errors}});
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(QJsonDocument(QJsonObject {{QStringLiteral("wallets"), wallets}}).toJson()) > 0;
}

} // namespace

void addOptions(QCommandLineParser& parser)
{
    parser.addOption({QString::fromLatin1(kTrace),
                      QStringLiteral("Write every output report of the simulated wallet to <file> at exit."),
                      QStringLiteral("file")});
    parser.addOption({QString::fromLatin1(kState),
                      QStringLiteral("Write each wallet's final state to <file> as JSON at exit."),
                      QStringLiteral("file")});
    parser.addOption({QString::fromLatin1(kRaiseAt),
                      QStringLiteral("Raise SIGINT or SIGTERM in this process as output report N is written, "
                                     "counted over the bus from 1 as in the trace; N 0: as the first "
                                     "device is opened (repeatable)."),
                      QStringLiteral("N:INT|N:TERM")});
    parser.addOption({QString::fromLatin1(kFault),
                      QStringLiteral("Give the simulated wallet a fault (repeatable): %1.").arg(fault_names()),
                      QStringLiteral("spec")});
    parser.addOption({QString::fromLatin1(kLinkUs),
                      QStringLiteral("Microseconds each output report takes on the link."), QStringLiteral("us")});
    parser.addOption({QString::fromLatin1(kPathStyle), QStringLiteral("Device paths as on macos or linux."),
                      QStringLiteral("style")});
    parser.addOption({QString::fromLatin1(kMode),
                      QStringLiteral("The mode the simulated wallet starts in: application or bootloader."),
                      QStringLiteral("mode")});
    parser.addOption({QString::fromLatin1(kNoWallet), QStringLiteral("Start with an empty bus.")});
    parser.addOption({QString::fromLatin1(kSecondWallet),
                      QStringLiteral("Attach a second wallet, without faults, in its application or its bootloader, "
                                     "before the first."),
                      QStringLiteral("mode")});
    parser.addOption({QString::fromLatin1(kWallets),
                      QStringLiteral("Attach <n> wallets, each on its own port, in port order; --fault then applies "
                                     "to every one of them."),
                      QStringLiteral("n")});
    parser.addOption({QString::fromLatin1(kWalletFault),
                      QStringLiteral("Give wallet <i> (from 1, in port order) a fault, as --fault does (repeatable): "
                                     "2:reboot-ms=300."),
                      QStringLiteral("i:spec")});
}

bool applyFault(const QString& spec, WalletConfig* config, QString* error)
{
    const int equals = spec.indexOf(QLatin1Char('='));
    const QString name = equals < 0 ? spec : spec.left(equals);
    const QString value = equals < 0 ? QString() : spec.mid(equals + 1);
    Faults& faults = config->faults;

    for (const Flag& flag : kFlags) {
        if (name == QLatin1String(flag.name)) {
            if (equals >= 0) {
                *error = QStringLiteral("fault '%1' takes no value").arg(name);
                return false;
            }
            faults.*flag.field = true;
            return true;
        }
    }
    for (const Number& number : kNumbers) {
        if (name == QLatin1String(number.name)) {
            if (!parse_count(value, number.minimum, &(faults.*number.field))) {
                *error = QStringLiteral("fault '%1' needs a whole number of at least %2, as in %1=%3")
                             .arg(name)
                             .arg(number.minimum)
                             .arg(number.minimum + 1);
                return false;
            }
            return true;
        }
    }
    *error = QStringLiteral("unknown fault '%1' (known: %2)").arg(spec, fault_names());
    return false;
}

bool applyOptions(const QCommandLineParser& parser, QString* error)
{
    WalletConfig config;
    const QStringList faults = parser.values(QString::fromLatin1(kFault));
    for (const QString& spec : faults) {
        if (!applyFault(spec, &config, error)) {
            return false;
        }
    }
    if (parser.isSet(QString::fromLatin1(kPathStyle))) {
        const QString style = parser.value(QString::fromLatin1(kPathStyle));
        if (style == QLatin1String("macos")) {
            config.path_style = PathStyle::MacOS;
        } else if (style == QLatin1String("linux")) {
            config.path_style = PathStyle::Linux;
        } else {
            *error = QStringLiteral("--path-style must be macos or linux, not '%1'").arg(style);
            return false;
        }
    }
    int link_us = 0;
    if (parser.isSet(QString::fromLatin1(kLinkUs))
        && !parse_count(parser.value(QString::fromLatin1(kLinkUs)), 0, &link_us)) {
        *error = QStringLiteral("--link-us needs a whole number of microseconds, not '%1'")
                     .arg(parser.value(QString::fromLatin1(kLinkUs)));
        return false;
    }
    trace_path() = parser.value(QString::fromLatin1(kTrace));
    state_path() = parser.value(QString::fromLatin1(kState));
    std::vector<std::pair<int, int>> raises;
    for (const QString& spec : parser.values(QString::fromLatin1(kRaiseAt))) {
        int report = 0;
        int signal = 0;
        if (!parse_raise(spec, &report, &signal)) {
            *error = QStringLiteral("--raise-at takes N:INT or N:TERM, N from 0, not '%1'").arg(spec);
            return false;
        }
        raises.emplace_back(report, signal);
    }
    const QString mode = parser.value(QString::fromLatin1(kMode));
    if (mode == QLatin1String("bootloader")) {
        config.mode = Mode::Bootloader;
    } else if (!mode.isEmpty() && mode != QLatin1String("application")) {
        *error = QStringLiteral("--mode must be application or bootloader, not '%1'").arg(mode);
        return false;
    }
    WalletConfig second;
    second.path_style = config.path_style;
    second.serial = QStringLiteral("TS0000002");
    const QString second_mode = parser.value(QString::fromLatin1(kSecondWallet));
    if (second_mode == QLatin1String("bootloader")) {
        second.mode = Mode::Bootloader;
    } else if (!second_mode.isEmpty() && second_mode != QLatin1String("application")) {
        *error = QStringLiteral("--second-wallet must be application or bootloader, not '%1'").arg(second_mode);
        return false;
    }

    int count = 1;
    if (parser.isSet(QString::fromLatin1(kWallets))
        && (!parse_count(parser.value(QString::fromLatin1(kWallets)), 1, &count) || !second_mode.isEmpty())) {
        *error = QStringLiteral("--wallets needs a whole number of at least 1, and no --second-wallet");
        return false;
    }
    std::vector<WalletConfig> wallets;
    if (!second_mode.isEmpty()) {
        wallets.push_back(second);
    }
    for (int i = 0; i < count && !parser.isSet(QString::fromLatin1(kNoWallet)); ++i) {
        wallets.push_back(config);
        if (count > 1) {
            wallets.back().serial = QStringLiteral("TS%1").arg(i + 1, 7, 10, QLatin1Char('0'));
        }
    }
    const QStringList aimed = parser.values(QString::fromLatin1(kWalletFault));
    for (const QString& spec : aimed) {
        const int colon = spec.indexOf(QLatin1Char(':'));
        int index = 0;
        if (colon < 0 || !parse_count(spec.left(colon), 1, &index) || index > int(wallets.size())) {
            *error = QStringLiteral("--wallet-fault takes I:FAULT with I a wallet from 1 to %1, not '%2'")
                         .arg(wallets.size())
                         .arg(spec);
            return false;
        }
        if (!applyFault(spec.mid(colon + 1), &wallets[std::size_t(index - 1)], error)) {
            return false;
        }
    }

    Bus& bus = Bus::instance();
    bus.reset();
    bus.setLinkIntervalUs(link_us);
    for (const auto& raise : raises) {
        bus.raiseSignalAt(raise.first, raise.second);
    }
    // Without --trace a long update would only pile reports up in memory.
    bus.setTraceEnabled(!trace_path().isEmpty());
    // The second wallet comes first on the bus: the one most easily taken by mistake.
    for (const WalletConfig& wallet : wallets) {
        bus.attachWallet(wallet);
    }
    return true;
}

bool finish(QString* error)
{
    QString failed;
    if (!trace_path().isEmpty() && !Bus::instance().writeTrace(trace_path())) {
        failed = trace_path();
    }
    if (!state_path().isEmpty() && !write_state(state_path())) {
        failed = state_path();
    }
    if (failed.isEmpty()) {
        return true;
    }
    const QString text = QStringLiteral("cannot write %1").arg(failed);
    if (error != nullptr) {
        *error = text;
    } else {
        qWarning("%s", qPrintable(text));
    }
    return false;
}

} // namespace sim

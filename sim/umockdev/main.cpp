// tessaro-umockdev-wallet: the simulated wallets behind the kernel's own
// interfaces. It plugs the wallets that the -sim options describe into a
// umockdev testbed, runs COMMAND under umockdev-wrapper against them, plays
// their side while it runs, and exits with the command's status.
//
//   tessaro-umockdev-wallet [--trace FILE] [--state FILE] [--fault F]... -- COMMAND [ARGS]...

#include "sim/SimBus.h"
#include "sim/SimOptions.h"
#include "sim/SimWallet.h"
#include "sim/umockdev/UmockdevBus.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <functional>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kHarnessFailed = 125;

int fail(const QString& text)
{
    std::fprintf(stderr, "tessaro-umockdev-wallet: %s\n", qPrintable(text));
    return kHarnessFailed;
}

bool any_wallet_has(const std::function<bool(const sim::Faults&)>& fault)
{
    sim::Bus& bus = sim::Bus::instance();
    for (int i = 0; i < bus.walletCount(); ++i) {
        if (fault(bus.wallet(i).faults())) {
            return true;
        }
    }
    return false;
}

// Timed faults: replies and reboots here are as fast as the model makes them.
bool timed_faults()
{
    return any_wallet_has([](const sim::Faults& f) { return f.reboot_ms > 0 || f.reply_delay_ms > 0; });
}

// A wallet whose nodes nobody may open: the pty behind them has mode 0, and
// root, who could open it anyway, runs the command without the capabilities
// that pass over file modes.
bool any_open_denied()
{
    return any_wallet_has([](const sim::Faults& f) { return f.open_denied || f.bootloader_open_denied; });
}

int run_command(const QStringList& command, const QString& root, bool deny)
{
    std::vector<QByteArray> args {QByteArrayLiteral("umockdev-wrapper")};
    for (const QString& arg : command) {
        args.push_back(arg.toLocal8Bit());
    }
    std::vector<char*> argv;
    for (QByteArray& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        return fail(QStringLiteral("cannot start %1").arg(command.first()));
    }
    if (child == 0) {
        if (deny && ::geteuid() == 0) {
            ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
            ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
        }
        ::setenv("UMOCKDEV_DIR", root.toLocal8Bit().constData(), 1);
        ::execvp(argv[0], argv.data());
        std::fprintf(stderr, "tessaro-umockdev-wallet: cannot run umockdev-wrapper\n");
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return fail(QStringLiteral("lost %1").arg(command.first()));
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Runs COMMAND against simulated Tessaro wallets plugged into a umockdev testbed."));
    parser.addHelpOption();
    sim::addOptions(parser);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("The program to run, after --."),
                                 QStringLiteral("-- command [args]"));
    parser.process(app);
    const QStringList command = parser.positionalArguments();
    QString error;
    if (command.isEmpty()) {
        return fail(QStringLiteral("no command given"));
    }
    if (!sim::applyOptions(parser, &error)) {
        return fail(error);
    }
    // The signal would hit this harness, not COMMAND.
    if (parser.isSet(QStringLiteral("raise-at"))) {
        return fail(QStringLiteral("--raise-at is not played behind umockdev"));
    }
    if (timed_faults()) {
        return fail(QStringLiteral("reboot-ms and reply-delay-ms are not played behind umockdev"));
    }
    int code = kHarnessFailed;
    {
        sim::UmockdevBus bus;
        if (bus.rootDir().isEmpty()) {
            return fail(QStringLiteral("cannot make a umockdev testbed"));
        }
        bus.sync();
        code = run_command(command, bus.rootDir(), any_open_denied());
    }
    if (!sim::finish(&error)) {
        return fail(error);
    }
    return code;
}

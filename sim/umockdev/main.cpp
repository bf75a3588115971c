// tessaro-umockdev-wallet: the simulated wallets behind the kernel's own
// interfaces. It plugs the wallets that the -sim options describe into a
// umockdev testbed, runs COMMAND under umockdev-wrapper against them, plays
// their side while it runs (restarts, plug-ins and pulls that take time included),
// and exits with the command's status. Several commands run under the one
// testbed, each started the given milliseconds after the first:
//
//   tessaro-umockdev-wallet [--trace FILE] [--state FILE] [--outputs DIR] [--fault F]...
//       -- COMMAND [ARGS]... [--then=MS COMMAND [ARGS]...]...
//
// With --outputs, command I (from 0) writes DIR/I.out and DIR/I.err, and its
// exit status goes to DIR/I.exit.

#include "sim/SimBus.h"
#include "sim/SimOptions.h"
#include "sim/SimWallet.h"
#include "sim/umockdev/UmockdevBus.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kHarnessFailed = 125;

int fail(const QString& text)
{
    std::fprintf(stderr, "tessaro-umockdev-wallet: %s\n", qPrintable(text));
    return kHarnessFailed;
}

// One command of the run, and when it starts after the first.
struct Run
{
    QStringList command;
    int after_ms = 0;
    pid_t pid = -1;
    int code = -1;
};

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

// Replies here are read as soon as the model makes them.
bool delayed_replies()
{
    return any_wallet_has([](const sim::Faults& f) { return f.reply_delay_ms > 0; });
}

const char kThen[] = "--then=";

// "A... --then=100 B..." as the runs A at 0 ms and B at 100 ms.
bool split_runs(const QStringList& words, std::vector<Run>* runs)
{
    runs->push_back(Run());
    for (const QString& word : words) {
        if (word.startsWith(QLatin1String(kThen))) {
            bool ok = false;
            Run next;
            next.after_ms = word.mid(int(sizeof kThen) - 1).toInt(&ok);
            if (!ok || next.after_ms < 0 || runs->back().command.isEmpty()) {
                return false;
            }
            runs->push_back(next);
            continue;
        }
        runs->back().command << word;
    }
    return !runs->back().command.isEmpty();
}

// A wallet whose nodes nobody may open: the pty behind them has mode 0, and
// root, who could open it anyway, runs the command without the capabilities
// that pass over file modes.
bool any_open_denied()
{
    return any_wallet_has([](const sim::Faults& f) { return f.open_denied || f.bootloader_open_denied; });
}

pid_t start_command(const QStringList& command, const QString& root, bool deny, const QString& out, const QString& err)
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
    if (child == 0) {
        const auto redirect = [](const QString& path, int fd) {
            const int file = ::open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (file >= 0) {
                ::dup2(file, fd);
                ::close(file);
            }
        };
        if (!out.isEmpty()) {
            redirect(out, STDOUT_FILENO);
            redirect(err, STDERR_FILENO);
        }
        if (deny && ::geteuid() == 0) {
            ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
            ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
        }
        ::setenv("UMOCKDEV_DIR", root.toLocal8Bit().constData(), 1);
        ::execvp(argv[0], argv.data());
        std::fprintf(stderr, "tessaro-umockdev-wallet: cannot run umockdev-wrapper\n");
        ::_exit(127);
    }
    return child;
}

// Starts each run at its time and plays the wallets' side until all have
// ended: a restart, a plug-in or a pull that falls due shows on the bus within a few
// milliseconds, as it would on a real one.
bool run_all(std::vector<Run>& runs, sim::UmockdevBus& bus, bool deny, const QString& outputs)
{
    const auto start = std::chrono::steady_clock::now();
    std::size_t ended = 0;
    while (ended < runs.size()) {
        const auto now = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < runs.size(); ++i) {
            Run& run = runs[i];
            if (run.pid < 0 && run.code < 0 && now - start >= std::chrono::milliseconds(run.after_ms)) {
                const QString prefix = outputs.isEmpty() ? QString() : outputs + QStringLiteral("/%1").arg(i);
                run.pid = start_command(run.command, bus.rootDir(), deny,
                                        prefix.isEmpty() ? QString() : prefix + QStringLiteral(".out"),
                                        prefix.isEmpty() ? QString() : prefix + QStringLiteral(".err"));
                if (run.pid < 0) {
                    fail(QStringLiteral("cannot start %1").arg(run.command.first()));
                    return false;
                }
            }
            int status = 0;
            if (run.pid > 0 && ::waitpid(run.pid, &status, WNOHANG) == run.pid) {
                run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                run.pid = -1;
                ++ended;
                QFile exit(outputs + QStringLiteral("/%1.exit").arg(i));
                if (!outputs.isEmpty()
                    && !(exit.open(QIODevice::WriteOnly) && exit.write(QByteArray::number(run.code)) > 0)) {
                    fail(QStringLiteral("cannot write %1").arg(exit.fileName()));
                }
            }
        }
        bus.sync();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
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
    const QCommandLineOption outputs(QStringLiteral("outputs"),
                                     QStringLiteral("Write command I's stdout, stderr and exit status to <dir>/I.out, "
                                                    "I.err and I.exit."),
                                     QStringLiteral("dir"));
    parser.addOption(outputs);
    const QCommandLineOption usb_bus(QStringLiteral("usb-bus"),
                                     QStringLiteral("The USB bus the wallets' ports are on (<n>-1, <n>-2, ...), 1 "
                                                    "unless given: runs side by side need buses of their own, since "
                                                    "the wallets' lock files are named after their ports."),
                                     QStringLiteral("n"));
    parser.addOption(usb_bus);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("The program to run, after --."),
                                 QStringLiteral("-- command [args]"));
    parser.process(app);
    std::vector<Run> runs;
    QString error;
    if (!split_runs(parser.positionalArguments(), &runs)) {
        return fail(QStringLiteral("no command given, or a --then=MS without a command before and after it"));
    }
    if (!sim::applyOptions(parser, &error)) {
        return fail(error);
    }
    // The signal would hit this harness, not COMMAND.
    if (parser.isSet(QStringLiteral("raise-at"))) {
        return fail(QStringLiteral("--raise-at is not played behind umockdev"));
    }
    if (delayed_replies()) {
        return fail(QStringLiteral("reply-delay-ms is not played behind umockdev"));
    }
    {
        bool bus_ok = false;
        const int bus_number = parser.isSet(usb_bus) ? parser.value(usb_bus).toInt(&bus_ok) : 1;
        if (parser.isSet(usb_bus) && (!bus_ok || bus_number < 1 || bus_number > 255)) {
            return fail(QStringLiteral("--usb-bus takes a bus number from 1 to 255"));
        }
        sim::UmockdevBus bus(bus_number);
        if (bus.rootDir().isEmpty()) {
            return fail(QStringLiteral("cannot make a umockdev testbed"));
        }
        bus.sync();
        if (!run_all(runs, bus, any_open_denied(), parser.value(outputs))) {
            return kHarnessFailed;
        }
    }
    if (!sim::finish(&error)) {
        return fail(error);
    }
    return runs.front().code;
}

#include "sim/BusState.h"

#include <QFile>

namespace sim {

namespace detail {

BusState& bus_state()
{
    static BusState state;
    return state;
}

std::wstring& global_error()
{
    thread_local std::wstring text;
    return text;
}

} // namespace detail

using detail::bus_state;
using detail::Lock;

Bus& Bus::instance()
{
    static Bus bus;
    return bus;
}

void Bus::reset()
{
    detail::BusState& state = bus_state();
    Lock lock(state.mutex);
    state.wallets.clear();
    ++state.epoch;
    state.next_location = 1;
    state.next_hidraw = 0;
    state.trace.clear();
    state.trace_enabled = true;
    state.link_us = 0;
    state.init_fails = false;
    state.writes = 0;
    state.raise_at.clear();
    state.init_count = 0;
    state.open_handles = 0;
    detail::global_error().clear();
    reset_time();
}

void Bus::advanceTime(int milliseconds)
{
    skip_time(std::chrono::milliseconds(milliseconds));
}

Wallet& Bus::attachWallet(const WalletConfig& config)
{
    detail::BusState& state = bus_state();
    Lock lock(state.mutex);
    state.wallets.push_back(
        std::make_unique<SimWallet>(state.mutex, state.next_location++, &state.next_hidraw, config));
    return *state.wallets.back();
}

void Bus::unplug(Wallet& wallet)
{
    Lock lock(bus_state().mutex);
    static_cast<SimWallet&>(wallet).unplugForGood();
}

int Bus::walletCount() const
{
    Lock lock(bus_state().mutex);
    return int(bus_state().wallets.size());
}

Wallet& Bus::wallet(int index)
{
    Lock lock(bus_state().mutex);
    return *bus_state().wallets.at(std::size_t(index));
}

const std::vector<QByteArray>& Bus::trace() const
{
    return bus_state().trace;
}

void Bus::setTraceEnabled(bool enabled)
{
    Lock lock(bus_state().mutex);
    bus_state().trace_enabled = enabled;
}

void Bus::clearTrace()
{
    Lock lock(bus_state().mutex);
    bus_state().trace.clear();
}

bool Bus::writeTrace(const QString& path) const
{
    Lock lock(bus_state().mutex);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    for (const QByteArray& report : bus_state().trace) {
        if (file.write(report) != report.size()) {
            return false;
        }
    }
    return file.flush();
}

void Bus::setLinkIntervalUs(int us)
{
    Lock lock(bus_state().mutex);
    bus_state().link_us = us;
    for (const auto& wallet : bus_state().wallets) {
        wallet->resetLinkSlot();
    }
}

void Bus::raiseSignalAt(int report, int signal)
{
    Lock lock(bus_state().mutex);
    bus_state().raise_at.emplace(report, signal);
}

void Bus::setInitFails(bool fails)
{
    Lock lock(bus_state().mutex);
    bus_state().init_fails = fails;
}

int Bus::openHandles() const
{
    Lock lock(bus_state().mutex);
    return bus_state().open_handles;
}

int Bus::initCount() const
{
    Lock lock(bus_state().mutex);
    return bus_state().init_count;
}

} // namespace sim

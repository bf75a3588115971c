// The device layer's port seam, answered by the simulated bus: each wallet
// knows the port it is plugged into, in both of its modes.

#include "protocol/HidPort.h"
#include "sim/BusState.h"

bool hid_bus_is_private()
{
    return true;
}

QString hid_port(const QString& path)
{
    sim::detail::BusState& state = sim::detail::bus_state();
    sim::detail::Lock lock(state.mutex);
    for (const auto& wallet : state.wallets) {
        wallet->settle();
        if (!wallet->onBus()) {
            continue;
        }
        for (const sim::InterfaceInfo& interface : wallet->interfaces()) {
            if (interface.path == path) {
                return wallet->faults().no_port ? QString() : wallet->port();
            }
        }
    }
    return QString();
}

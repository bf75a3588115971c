#pragma once

// The simulated bus's wallets as the Linux kernel shows real ones: a umockdev
// testbed with each interface's sysfs tree and a /dev/hidrawN node, played by
// the same SimWallet models that hidapi_sim.cpp plays in-process. A program
// run under umockdev-wrapper with UMOCKDEV_DIR set to rootDir() reaches them
// through the real hidapi-hidraw: enumeration from sysfs, open, the hidraw
// ioctls, and one report per write and per read.

#include "sim/umockdev/DeferredCompletions.h"

#include <QString>

#include <map>
#include <memory>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;

namespace sim {

class SimWallet;

class UmockdevBus
{
public:
    // The wallets sit on the ports "usb_bus-k" of that USB bus.
    explicit UmockdevBus(int usb_bus = 1);
    ~UmockdevBus();
    UmockdevBus(const UmockdevBus&) = delete;
    UmockdevBus& operator=(const UmockdevBus&) = delete;

    // The testbed's root; empty when it could not be made.
    QString rootDir() const { return root_; }
    // Plugs and unplugs nodes until the testbed shows what the bus holds now:
    // restarts, plug-ins and pulls whose time has come included. Called after
    // every report the wallets receive, so a wallet that restarts is on its
    // new nodes before the write that restarted it returns, and every few
    // milliseconds by the harness's loop.
    void sync();

    // One /dev/hidrawN name and what is plugged under it.
    struct Node;

    // The hidraw handler's calls, on umockdev's worker thread. Each takes the
    // bus mutex, which the harness's loop takes too.
    void connected(Node& node, UMockdevIoctlClient* client);
    void ioctl(Node& node, UMockdevIoctlClient* client);
    void read(Node& node, UMockdevIoctlClient* client);
    void write(Node& node, UMockdevIoctlClient* client);

private:
    struct Plugged
    {
        unsigned long long session = 0;
        QString usb_syspath;
        std::vector<Node*> nodes;
    };

    void plug(SimWallet& wallet, int port);
    void unplug(Plugged& plugged);
    Node& freeNode();
    bool plugNode(Node& node, SimWallet& wallet, int interface);
    SimWallet* liveWallet(const Node& node, UMockdevIoctlClient* client) const;

    int usb_bus_;
    UMockdevTestbed* testbed_ = nullptr;
    QString root_;
    int hid_sequence_ = 0;
    std::vector<std::unique_ptr<Node>> nodes_; // index = N of /dev/hidrawN
    std::map<SimWallet*, Plugged> plugged_;
    // Writes held until their link slot ends.
    DeferredCompletions completions_;
};

} // namespace sim

#include "sim/umockdev/UmockdevBus.h"

#include "sim/BusState.h"
#include "sim/WireFormat.h"

#include <QDir>

#include <umockdev.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <linux/input.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

using sim::detail::bus_state;
using sim::detail::Lock;

struct sim::UmockdevBus::Node
{
    UmockdevBus* bus = nullptr;
    int number = 0;
    UMockdevIoctlBase* handler = nullptr;
    // What is plugged under the name now; no wallet while it is free.
    SimWallet* wallet = nullptr;
    int interface = 0;
    unsigned long long session = 0;
    // Grows with each plug: a descriptor opened before reaches nothing.
    unsigned long long generation = 0;
    std::map<UMockdevIoctlClient*, unsigned long long> clients;
    // The pty behind the node. The client polls its own descriptor of it, so
    // one byte stands in the pty for each input report waiting to be read.
    int master = -1;
    int slave = -1;
    int signalled = 0;
    QString syspaths[3]; // hidraw, hid, interface: the order they leave in

    QString devName() const { return QStringLiteral("/dev/hidraw%1").arg(number); }
};

// The handler that umockdev_testbed_attach_ioctl hands a node's ioctls, reads
// and writes to, one per /dev/hidrawN name.
struct TessaroHidrawHandler
{
    UMockdevIoctlBase parent;
    sim::UmockdevBus::Node* node;
};
struct TessaroHidrawHandlerClass
{
    UMockdevIoctlBaseClass parent_class;
};

G_DEFINE_TYPE(TessaroHidrawHandler, tessaro_hidraw_handler, umockdev_ioctl_base_get_type())

namespace {

// Hands one of the handler's calls on to the bus, with the node it serves.
template<void (sim::UmockdevBus::*call)(sim::UmockdevBus::Node&, UMockdevIoctlClient*)>
gboolean pass_on(UMockdevIoctlBase* base, UMockdevIoctlClient* client)
{
    sim::UmockdevBus::Node& node = *reinterpret_cast<TessaroHidrawHandler*>(base)->node;
    (node.bus->*call)(node, client);
    return TRUE;
}

void client_connected(UMockdevIoctlBase* base, UMockdevIoctlClient* client)
{
    pass_on<&sim::UmockdevBus::connected>(base, client);
}

} // namespace

static void tessaro_hidraw_handler_class_init(TessaroHidrawHandlerClass* type)
{
    type->parent_class.handle_ioctl = pass_on<&sim::UmockdevBus::ioctl>;
    type->parent_class.handle_read = pass_on<&sim::UmockdevBus::read>;
    type->parent_class.handle_write = pass_on<&sim::UmockdevBus::write>;
    type->parent_class.client_connected = client_connected;
}

static void tessaro_hidraw_handler_init(TessaroHidrawHandler* handler)
{
    handler->node = nullptr;
}

namespace sim {

namespace {

using sim::wire::kInputReportSize;
const char kUsbController[] = "/devices/pci0000:00/0000:00:14.0";

// Vendor page 0xFF00, usage 1: 64-byte input and output reports, no report IDs.
const unsigned char kReportDescriptor[]
    = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
       0x95, 0x40, 0x09, 0x01, 0x81, 0x02, 0x95, 0x40, 0x09, 0x01, 0x91, 0x02, 0xC0};

QString hex4(unsigned int value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

// Copies `size` bytes into the client's memory at the ioctl's argument and
// completes the call with `result`.
void answer(UMockdevIoctlClient* client, const void* data, std::size_t size, long result)
{
    GError* error = nullptr;
    UMockdevIoctlData* target = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, size, &error);
    if (target == nullptr) {
        g_clear_error(&error);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
    }
    std::memcpy(target->data, data, size);
    umockdev_ioctl_client_complete(client, result, 0);
    g_object_unref(target);
}

void answer_string(UMockdevIoctlClient* client, const QByteArray& text, std::size_t room)
{
    QByteArray data = text.left(int(room) - 1);
    data.append('\0');
    answer(client, data.constData(), std::size_t(data.size()), data.size());
}

} // namespace

UmockdevBus::UmockdevBus(int usb_bus)
    : usb_bus_(usb_bus)
    , testbed_(umockdev_testbed_new())
{
    if (testbed_ != nullptr) {
        gchar* root = umockdev_testbed_get_root_dir(testbed_);
        root_ = QString::fromUtf8(root);
        g_free(root);
    }
}

UmockdevBus::~UmockdevBus()
{
    {
        Lock lock(bus_state().mutex);
        while (!plugged_.empty()) {
            unplug(plugged_.begin()->second);
            plugged_.erase(plugged_.begin());
        }
    }
    for (const auto& node : nodes_) {
        if (node->handler != nullptr) {
            umockdev_testbed_detach_ioctl(testbed_, node->devName().toUtf8().constData(), nullptr);
            g_object_unref(node->handler);
        }
    }
    if (testbed_ != nullptr) {
        g_object_unref(testbed_);
    }
}

void UmockdevBus::sync()
{
    detail::BusState& state = bus_state();
    Lock lock(state.mutex);
    // Settled first, so a wallet pulled or restarting now leaves its nodes in this pass.
    for (const auto& wallet : state.wallets) {
        wallet->settle();
    }
    for (auto it = plugged_.begin(); it != plugged_.end();) {
        if (!it->first->onBus() || it->first->session() != it->second.session) {
            unplug(it->second);
            it = plugged_.erase(it);
        } else {
            ++it;
        }
    }
    for (std::size_t i = 0; i < state.wallets.size(); ++i) {
        SimWallet& wallet = *state.wallets[i];
        if (wallet.onBus() && plugged_.count(&wallet) == 0) {
            plug(wallet, int(i) + 1);
        }
    }
    for (const auto& node : nodes_) {
        if (node->wallet == nullptr || node->interface != 0) {
            continue;
        }
        for (const int queued = int(node->wallet->inputReports().size()); node->signalled < queued; ++node->signalled) {
            const char ready = 1;
            if (::write(node->master, &ready, 1) != 1) {
                qWarning("cannot signal a report on /dev/hidraw%d: %s", node->number, std::strerror(errno));
            }
        }
    }
}

UmockdevBus::Node& UmockdevBus::freeNode()
{
    // As the kernel does: the lowest free number.
    for (const auto& node : nodes_) {
        if (node->wallet == nullptr) {
            return *node;
        }
    }
    nodes_.push_back(std::make_unique<Node>());
    nodes_.back()->bus = this;
    nodes_.back()->number = int(nodes_.size()) - 1;
    return *nodes_.back();
}

void UmockdevBus::plug(SimWallet& wallet, int port)
{
    Plugged& plugged = plugged_[&wallet];
    plugged.session = wallet.session();
    plugged.usb_syspath = QStringLiteral("%1/usb%2/%2-%3").arg(QLatin1String(kUsbController)).arg(usb_bus_).arg(port);
    const unsigned short product = wallet.productId();
    const QString serial = wallet.serial();
    QString sysfs
        = QStringLiteral("P: %1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=%2\nA: idProduct=%3\n"
                         "A: manufacturer=Tessaro\nA: product=%4\nA: serial=%5\nA: bcdDevice=0100\n\n")
              .arg(plugged.usb_syspath, hex4(sim::wire::kVendorId), hex4(product), wallet.productString(), serial);
    QString descriptor;
    for (const unsigned char byte : kReportDescriptor) {
        descriptor += QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    // The nodes come first: a program that finds the sysfs entry finds its node.
    for (const InterfaceInfo& interface : wallet.interfaces()) {
        Node& node = freeNode();
        if (!plugNode(node, wallet, interface.number)) {
            continue;
        }
        plugged.nodes.push_back(&node);
        struct stat pty
        {
        };
        ::fstat(node.slave, &pty);
        const QString hid_name
            = QStringLiteral("0003:%1:%2.%3")
                  .arg(hex4(sim::wire::kVendorId).toUpper(), hex4(product).toUpper(), hex4(++hid_sequence_));
        node.syspaths[2]
            = QStringLiteral("%1/%2-%3:1.%4").arg(plugged.usb_syspath).arg(usb_bus_).arg(port).arg(interface.number);
        node.syspaths[1] = node.syspaths[2] + QLatin1Char('/') + hid_name;
        node.syspaths[0] = node.syspaths[1] + QStringLiteral("/hidraw/hidraw%1").arg(node.number);
        sysfs += QStringLiteral("P: %1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceNumber=%2\n\n")
                     .arg(node.syspaths[2])
                     .arg(interface.number, 2, 10, QLatin1Char('0'));
        sysfs += QStringLiteral("P: %1\nE: SUBSYSTEM=hid\nE: HID_ID=0003:0000%2:0000%3\nE: HID_NAME=Tessaro %4\n"
                                "E: HID_UNIQ=%5\nH: report_descriptor=%6\n\n")
                     .arg(node.syspaths[1], hex4(sim::wire::kVendorId).toUpper(), hex4(product).toUpper(),
                          wallet.productString(), serial, descriptor.toUpper());
        const unsigned int major_number = major(pty.st_rdev);
        const unsigned int minor_number = minor(pty.st_rdev);
        sysfs += QStringLiteral("P: %1\nE: SUBSYSTEM=hidraw\nE: DEVNAME=%2\nE: MAJOR=%3\nE: MINOR=%4\n"
                                "A: dev=%3:%4\nL: device=../../../%5\n\n")
                     .arg(node.syspaths[0])
                     .arg(node.devName())
                     .arg(major_number)
                     .arg(minor_number)
                     .arg(hid_name);
    }
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, sysfs.toUtf8().constData(), &error)) {
        qWarning("cannot add the wallet's sysfs entries: %s", error->message);
        g_clear_error(&error);
    }
}

bool UmockdevBus::plugNode(Node& node, SimWallet& wallet, int interface)
{
    char name[128] = {};
    if (::openpty(&node.master, &node.slave, name, nullptr, nullptr) != 0) {
        qWarning("cannot open a pty for /dev/hidraw%d: %s", node.number, std::strerror(errno));
        return false;
    }
    termios raw {};
    ::tcgetattr(node.slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(node.slave, TCSANOW, &raw);
    ::fcntl(node.slave, F_SETFL, ::fcntl(node.slave, F_GETFL) | O_NONBLOCK);
    // No one but root may open it then; the harness takes that from root too.
    if (wallet.faults().deniedIn(wallet.mode())) {
        ::chmod(name, 0);
    }
    QDir().mkpath(root_ + QStringLiteral("/dev"));
    const QByteArray link = (root_ + node.devName()).toUtf8();
    ::unlink(link.constData());
    if (::symlink(name, link.constData()) != 0) {
        qWarning("cannot link %s: %s", link.constData(), std::strerror(errno));
    }
    if (node.handler == nullptr) {
        node.handler = UMOCKDEV_IOCTL_BASE(g_object_new(tessaro_hidraw_handler_get_type(), nullptr));
        reinterpret_cast<TessaroHidrawHandler*>(node.handler)->node = &node;
        GError* error = nullptr;
        const QByteArray path = node.devName().toUtf8();
        if (!umockdev_testbed_attach_ioctl(testbed_, path.constData(), node.handler, &error)) {
            qWarning("cannot attach the hidraw handler to %s: %s", path.constData(), error->message);
            g_clear_error(&error);
        }
    }
    node.wallet = &wallet;
    node.interface = interface;
    node.session = wallet.session();
    ++node.generation;
    node.signalled = 0;
    return true;
}

void UmockdevBus::unplug(Plugged& plugged)
{
    // sysfs first, children before parents; then the node, whose open
    // descriptors see the hang-up as with a real hidraw device.
    for (Node* node : plugged.nodes) {
        for (const QString& syspath : node->syspaths) {
            umockdev_testbed_remove_device(testbed_, ("/sys" + syspath).toUtf8().constData());
        }
    }
    umockdev_testbed_remove_device(testbed_, ("/sys" + plugged.usb_syspath).toUtf8().constData());
    for (Node* node : plugged.nodes) {
        ::unlink((root_ + node->devName()).toUtf8().constData());
        ::close(node->master);
        ::close(node->slave);
        node->master = node->slave = -1;
        node->wallet = nullptr;
    }
    plugged.nodes.clear();
}

SimWallet* UmockdevBus::liveWallet(const Node& node, UMockdevIoctlClient* client) const
{
    const auto it = node.clients.find(client);
    if (node.wallet != nullptr) {
        node.wallet->settle(); // pulled out at its time, its nodes fail before the loop unplugs them
    }
    if (node.wallet == nullptr || (it != node.clients.end() && it->second != node.generation) || !node.wallet->onBus()
        || node.wallet->session() != node.session) {
        return nullptr;
    }
    return node.wallet;
}

void UmockdevBus::connected(Node& node, UMockdevIoctlClient* client)
{
    Lock lock(bus_state().mutex);
    node.clients[client] = node.generation;
}

void UmockdevBus::ioctl(Node& node, UMockdevIoctlClient* client)
{
    Lock lock(bus_state().mutex);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    SimWallet* wallet = liveWallet(node, client);
    if (_IOC_TYPE(request) != 'H') {
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return;
    }
    if (wallet == nullptr) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return;
    }
    const std::size_t room = _IOC_SIZE(request);
    switch (_IOC_NR(request)) {
    case _IOC_NR(HIDIOCGRDESCSIZE): {
        const int size = int(sizeof(kReportDescriptor));
        answer(client, &size, sizeof(size), 0);
        return;
    }
    case _IOC_NR(HIDIOCGRDESC): {
        hidraw_report_descriptor descriptor {};
        descriptor.size = sizeof(kReportDescriptor);
        std::memcpy(descriptor.value, kReportDescriptor, sizeof(kReportDescriptor));
        answer(client, &descriptor, sizeof(descriptor), 0);
        return;
    }
    case _IOC_NR(HIDIOCGRAWINFO): {
        hidraw_devinfo info {};
        info.bustype = BUS_USB;
        info.vendor = short(sim::wire::kVendorId);
        info.product = short(wallet->productId());
        answer(client, &info, sizeof(info), 0);
        return;
    }
    case 0x04: // HIDIOCGRAWNAME(len)
        answer_string(client, "Tessaro " + wallet->productString().toUtf8(), room);
        return;
    case 0x05: // HIDIOCGRAWPHYS(len)
        answer_string(client, QStringLiteral("usb-0000:00:14.0-1/input%1").arg(node.interface).toUtf8(), room);
        return;
    case 0x08: // HIDIOCGRAWUNIQ(len)
        answer_string(client, wallet->serial().toUtf8(), room);
        return;
    default:
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return;
    }
}

void UmockdevBus::read(Node& node, UMockdevIoctlClient* client)
{
    Lock lock(bus_state().mutex);
    SimWallet* wallet = liveWallet(node, client);
    if (wallet == nullptr) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return;
    }
    auto& queue = wallet->inputReports();
    if (node.interface != 0 || queue.empty()) {
        umockdev_ioctl_client_complete(client, -1, EAGAIN);
        return;
    }
    // One read, one report, however large the buffer.
    UMockdevIoctlData* buffer = umockdev_ioctl_client_get_arg(client);
    const int n = qMin(buffer->data_len, kInputReportSize);
    umockdev_ioctl_data_update(buffer, 0, reinterpret_cast<guint8*>(const_cast<char*>(queue.front().data.constData())),
                               n);
    queue.pop_front();
    char ready = 0;
    if (::read(node.slave, &ready, 1) == 1) {
        --node.signalled;
    }
    umockdev_ioctl_client_complete(client, n, 0);
}

void UmockdevBus::write(Node& node, UMockdevIoctlClient* client)
{
    detail::BusState& state = bus_state();
    Lock lock(state.mutex);
    UMockdevIoctlData* buffer = umockdev_ioctl_client_get_arg(client);
    const auto* data = buffer->data;
    const std::size_t length = std::size_t(buffer->data_len);
    if (state.trace_enabled) {
        state.trace.emplace_back(reinterpret_cast<const char*>(data), int(length));
    }
    // As in-process: the wallet behind the node paces its own reports, and a
    // report takes its slot whether it arrives or not.
    DeferredCompletions::Clock::time_point slot_end {};
    if (state.link_us > 0 && node.wallet != nullptr) {
        slot_end = node.wallet->takeLinkSlot(std::chrono::microseconds(state.link_us));
    }
    long result = long(length);
    int error = 0;
    SimWallet* wallet = liveWallet(node, client);
    if (wallet == nullptr) {
        result = -1;
        error = ENODEV;
    } else if (length > std::size_t(sim::wire::kOutputBufferSize)) {
        result = -1;
        error = EINVAL;
    } else if (!wallet->receive(node.interface, data, length)) {
        result = -1;
        error = EIO;
    }
    if (wallet != nullptr) {
        sync();
    }
    if (slot_end > DeferredCompletions::Clock::now()) {
        completions_.completeAt(slot_end, client, result, error);
        return;
    }
    umockdev_ioctl_client_complete(client, result, error);
}

} // namespace sim

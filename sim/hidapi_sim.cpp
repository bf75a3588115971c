// hidapi's C API over the simulated bus. Every call takes the bus mutex; the
// only waits (link interval, delayed replies) happen with it released.

#include "sim/BusState.h"
#include "sim/WireFormat.h"

#include <hidapi.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <cwchar>
#include <thread>

using sim::InterfaceInfo;
using sim::SimWallet;
using sim::detail::bus_state;
using sim::detail::BusState;
using sim::detail::global_error;
using sim::detail::Lock;

struct hid_device_
{
    unsigned long long epoch = 0;
    std::size_t wallet_index = 0;
    unsigned long long session = 0;
    int interface_number = 0;
    bool nonblocking = false;
    std::wstring error;
    hid_device_info* info = nullptr;
};

namespace {

using sim::wire::kInputReportSize;

constexpr unsigned short kReleaseNumber = 0x0100;
constexpr unsigned short kUsagePage = 0xFF00;
constexpr unsigned short kUsage = 0x0001;

const wchar_t kNoError[] = L"Success";

// The link paces reports as an interrupt endpoint polls, each wallet on its
// own (SimWallet::takeLinkSlot): the write returns when its report's slot ends.
// A handle that no longer reaches any wallet of this bus still takes the time
// of one report.
sim::Clock::time_point take_link_slot(BusState& state, const hid_device* dev)
{
    const auto interval = std::chrono::microseconds(state.link_us);
    if (dev->epoch == state.epoch && dev->wallet_index < state.wallets.size()) {
        return state.wallets[dev->wallet_index]->takeLinkSlot(interval);
    }
    return sim::Clock::now() + interval;
}

wchar_t* new_wide(const QString& text)
{
    auto* out = new wchar_t[std::size_t(text.size()) + 1];
    const int n = text.toWCharArray(out);
    out[n] = L'\0';
    return out;
}

hid_device_info* new_info(const SimWallet& wallet, const InterfaceInfo& interface)
{
    auto* info = new hid_device_info {};
    const QByteArray path = interface.path.toUtf8();
    info->path = new char[std::size_t(path.size()) + 1];
    std::memcpy(info->path, path.constData(), std::size_t(path.size()) + 1);
    info->vendor_id = sim::wire::kVendorId;
    info->product_id = wallet.productId();
    info->serial_number = new_wide(wallet.listedSerial());
    info->release_number = kReleaseNumber;
    info->manufacturer_string = new_wide(QStringLiteral("Tessaro"));
    info->product_string = new_wide(wallet.productString());
    info->usage_page = kUsagePage;
    info->usage = kUsage;
    info->interface_number = interface.number;
    info->next = nullptr;
    info->bus_type = HID_API_BUS_USB;
    return info;
}

void free_info(hid_device_info* info)
{
    delete[] info->path;
    delete[] info->serial_number;
    delete[] info->manufacturer_string;
    delete[] info->product_string;
    delete info;
}

void set_global_error(const wchar_t* text)
{
    global_error() = text;
}

// The wallet behind a handle, or null once the handle no longer reaches it.
SimWallet* live_wallet(hid_device* dev)
{
    BusState& state = bus_state();
    if (dev->epoch != state.epoch || dev->wallet_index >= state.wallets.size()) {
        return nullptr;
    }
    SimWallet* wallet = state.wallets[dev->wallet_index].get();
    wallet->settle(); // a wallet pulled out at its time fails its handles from then on
    if (!wallet->onBus() || wallet->session() != dev->session) {
        return nullptr;
    }
    return wallet;
}

SimWallet* checked_wallet(hid_device* dev)
{
    SimWallet* wallet = live_wallet(dev);
    if (wallet == nullptr) {
        dev->error = L"Device disconnected";
    }
    return wallet;
}

bool implicit_init()
{
    if (bus_state().init_fails) {
        set_global_error(L"Failed to initialize the HID library");
        return false;
    }
    return true;
}

hid_device* open_interface(std::size_t index, SimWallet& wallet, const InterfaceInfo& interface)
{
    BusState& state = bus_state();
    if (wallet.faults().deniedIn(wallet.mode())) {
        set_global_error(L"Permission denied");
        return nullptr;
    }
    auto* dev = new hid_device_;
    dev->epoch = state.epoch;
    dev->wallet_index = index;
    dev->session = wallet.session();
    dev->interface_number = interface.number;
    ++state.open_handles;
    global_error().clear();
    return dev;
}

int copy_string(hid_device* dev, const QString& text, wchar_t* string, size_t maxlen)
{
    if (string == nullptr || maxlen == 0) {
        dev->error = L"Invalid buffer";
        return -1;
    }
    const std::wstring wide = text.toStdWString();
    const std::size_t n = wide.size() < maxlen - 1 ? wide.size() : maxlen - 1;
    std::wmemcpy(string, wide.data(), n);
    string[n] = L'\0';
    return 0;
}

int unsupported(hid_device* dev)
{
    if (dev != nullptr) {
        dev->error = L"Not supported by this device";
    }
    return -1;
}

// The signals to raise at `write` (0: at the first open), each raised once.
std::vector<int> signals_due(BusState& state, int write)
{
    std::vector<int> signals;
    const auto due = state.raise_at.equal_range(write);
    for (auto it = due.first; it != due.second; ++it) {
        signals.push_back(it->second);
    }
    state.raise_at.erase(due.first, due.second);
    return signals;
}

// Raised with the bus unlocked: the handler may be the process's own.
void raise_all(const std::vector<int>& signals)
{
    for (int signal : signals) {
        std::raise(signal);
    }
}

} // namespace

extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void)
{
    Lock lock(bus_state().mutex);
    if (!implicit_init()) {
        return -1;
    }
    ++bus_state().init_count;
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_exit(void)
{
    Lock lock(bus_state().mutex);
    --bus_state().init_count;
    return 0;
}

struct hid_device_info HID_API_EXPORT* HID_API_CALL hid_enumerate(unsigned short vendor_id, unsigned short product_id)
{
    BusState& state = bus_state();
    Lock lock(state.mutex);
    if (!implicit_init()) {
        return nullptr;
    }
    hid_device_info* head = nullptr;
    hid_device_info** tail = &head;
    for (const auto& wallet : state.wallets) {
        wallet->settle();
        if (!wallet->onBus() || (vendor_id != 0 && vendor_id != sim::wire::kVendorId)
            || (product_id != 0 && product_id != wallet->productId())) {
            continue;
        }
        for (const InterfaceInfo& interface : wallet->interfaces()) {
            *tail = new_info(*wallet, interface);
            tail = &(*tail)->next;
        }
    }
    return head;
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info* devs)
{
    while (devs != nullptr) {
        hid_device_info* next = devs->next;
        free_info(devs);
        devs = next;
    }
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open(unsigned short vendor_id, unsigned short product_id,
                                                 const wchar_t* serial_number)
{
    BusState& state = bus_state();
    Lock lock(state.mutex);
    if (!implicit_init()) {
        return nullptr;
    }
    for (std::size_t i = 0; i < state.wallets.size(); ++i) {
        SimWallet& wallet = *state.wallets[i];
        wallet.settle();
        if (!wallet.onBus() || (vendor_id != 0 && vendor_id != sim::wire::kVendorId)
            || (product_id != 0 && product_id != wallet.productId())
            || (serial_number != nullptr && QString::fromWCharArray(serial_number) != wallet.serial())) {
            continue;
        }
        return open_interface(i, wallet, wallet.interfaces().front());
    }
    set_global_error(L"No matching device found");
    return nullptr;
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open_path(const char* path)
{
    BusState& state = bus_state();
    Lock lock(state.mutex);
    if (!implicit_init()) {
        return nullptr;
    }
    const QString wanted = QString::fromUtf8(path != nullptr ? path : "");
    for (std::size_t i = 0; i < state.wallets.size(); ++i) {
        SimWallet& wallet = *state.wallets[i];
        wallet.settle();
        if (!wallet.onBus()) {
            continue;
        }
        for (const InterfaceInfo& interface : wallet.interfaces()) {
            if (interface.path == wanted) {
                hid_device* device = open_interface(i, wallet, interface);
                const std::vector<int> signals = signals_due(state, 0);
                lock.unlock();
                raise_all(signals);
                return device;
            }
        }
    }
    set_global_error(L"No such file or directory");
    return nullptr;
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device* dev, const unsigned char* data, size_t length)
{
    BusState& state = bus_state();
    Lock lock(state.mutex);
    if (dev == nullptr || data == nullptr || length == 0) {
        return -1;
    }
    if (state.trace_enabled) {
        state.trace.emplace_back(reinterpret_cast<const char*>(data), int(length));
    }
    const std::vector<int> signals = signals_due(state, ++state.writes);
    const bool paced = state.link_us > 0;
    const sim::Clock::time_point slot_end = paced ? take_link_slot(state, dev) : sim::Clock::time_point();
    bool delivered = false;
    if (length > std::size_t(sim::wire::kOutputBufferSize)) {
        dev->error = L"Report longer than the device's output report";
    } else if (SimWallet* wallet = checked_wallet(dev)) {
        delivered = wallet->receive(dev->interface_number, data, length);
        if (!delivered) {
            dev->error = L"Input/output error";
        }
    }
    lock.unlock();
    if (paced) {
        std::this_thread::sleep_until(slot_end);
    }
    raise_all(signals);
    return delivered ? int(length) : -1;
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds)
{
    BusState& state = bus_state();
    Lock lock(state.mutex);
    if (dev == nullptr || data == nullptr) {
        return -1;
    }
    if (dev->nonblocking) {
        milliseconds = 0;
    }
    for (;;) {
        SimWallet* wallet = checked_wallet(dev);
        if (wallet == nullptr) {
            return -1;
        }
        auto& queue = wallet->inputReports();
        // Nothing queued means nothing will come: the device only answers commands.
        if (dev->interface_number != 0 || queue.empty()) {
            return 0;
        }
        const auto now = sim::bus_now();
        const auto ready_at = queue.front().ready_at;
        if (ready_at <= now) {
            const std::size_t n = length < std::size_t(kInputReportSize) ? length : std::size_t(kInputReportSize);
            std::memcpy(data, queue.front().data.constData(), n);
            queue.pop_front();
            return int(n);
        }
        if (milliseconds >= 0 && ready_at - now > std::chrono::milliseconds(milliseconds)) {
            return 0; // stays queued, and is what the next read gets
        }
        // A wallet pulled out before its reply is due fails the read then.
        const auto wake_at = std::min(ready_at, wallet->pulledAt());
        lock.unlock();
        std::this_thread::sleep_until(sim::real_time_of(wake_at));
        lock.lock();
    }
}

int HID_API_EXPORT HID_API_CALL hid_read(hid_device* dev, unsigned char* data, size_t length)
{
    return hid_read_timeout(dev, data, length, -1);
}

int HID_API_EXPORT HID_API_CALL hid_set_nonblocking(hid_device* dev, int nonblock)
{
    Lock lock(bus_state().mutex);
    if (dev == nullptr) {
        return -1;
    }
    dev->nonblocking = nonblock != 0;
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_send_feature_report(hid_device* dev, const unsigned char*, size_t)
{
    Lock lock(bus_state().mutex);
    return unsupported(dev);
}

int HID_API_EXPORT HID_API_CALL hid_get_feature_report(hid_device* dev, unsigned char*, size_t)
{
    Lock lock(bus_state().mutex);
    return unsupported(dev);
}

int HID_API_EXPORT HID_API_CALL hid_get_input_report(hid_device* dev, unsigned char*, size_t)
{
    Lock lock(bus_state().mutex);
    return unsupported(dev);
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device* dev)
{
    if (dev == nullptr) {
        return;
    }
    BusState& state = bus_state();
    Lock lock(state.mutex);
    if (dev->epoch == state.epoch) {
        --state.open_handles;
    }
    if (dev->info != nullptr) {
        free_info(dev->info);
    }
    delete dev;
}

int HID_API_EXPORT_CALL hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen)
{
    Lock lock(bus_state().mutex);
    if (dev == nullptr || checked_wallet(dev) == nullptr) {
        return -1;
    }
    return copy_string(dev, QStringLiteral("Tessaro"), string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen)
{
    Lock lock(bus_state().mutex);
    SimWallet* wallet = dev != nullptr ? checked_wallet(dev) : nullptr;
    if (wallet == nullptr) {
        return -1;
    }
    return copy_string(dev, wallet->productString(), string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_serial_number_string(hid_device* dev, wchar_t* string, size_t maxlen)
{
    Lock lock(bus_state().mutex);
    SimWallet* wallet = dev != nullptr ? checked_wallet(dev) : nullptr;
    if (wallet == nullptr) {
        return -1;
    }
    return copy_string(dev, wallet->serial(), string, maxlen);
}

struct hid_device_info HID_API_EXPORT* HID_API_CALL hid_get_device_info(hid_device* dev)
{
    Lock lock(bus_state().mutex);
    SimWallet* wallet = dev != nullptr ? checked_wallet(dev) : nullptr;
    if (wallet == nullptr) {
        return nullptr;
    }
    if (dev->info == nullptr) {
        for (const InterfaceInfo& interface : wallet->interfaces()) {
            if (interface.number == dev->interface_number) {
                dev->info = new_info(*wallet, interface);
            }
        }
    }
    return dev->info;
}

int HID_API_EXPORT_CALL hid_get_indexed_string(hid_device* dev, int, wchar_t*, size_t)
{
    Lock lock(bus_state().mutex);
    return unsupported(dev);
}

HID_API_EXPORT const wchar_t* HID_API_CALL hid_error(hid_device* dev)
{
    Lock lock(bus_state().mutex);
    const std::wstring& text = dev != nullptr ? dev->error : global_error();
    return text.empty() ? kNoError : text.c_str();
}

HID_API_EXPORT const struct hid_api_version* HID_API_CALL hid_version(void)
{
    static const hid_api_version version = {HID_API_VERSION_MAJOR, HID_API_VERSION_MINOR, HID_API_VERSION_PATCH};
    return &version;
}

HID_API_EXPORT const char* HID_API_CALL hid_version_str(void)
{
    return HID_API_VERSION_STR;
}

} // extern "C"

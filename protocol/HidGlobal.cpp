#include "protocol/HidGlobal.h"

#include "protocol/Framing.h"

#include <QString>

#include <mutex>

namespace {

std::mutex& global_calls()
{
    static std::mutex mutex;
    return mutex;
}

thread_local QString t_last_error;

// Runs one call without a device and keeps its error for this thread.
template<typename Call>
auto taking_turns(Call call)
{
    const std::lock_guard<std::mutex> turn(global_calls());
    auto result = call();
    const wchar_t* text = hid_error(nullptr);
    t_last_error = text != nullptr ? QString::fromWCharArray(text) : QString();
    return result;
}

} // namespace

QString last_global_error()
{
    return t_last_error;
}

hid_device_info* hid_list(unsigned short vendor_id, unsigned short product_id)
{
    return taking_turns([=] { return hid_enumerate(vendor_id, product_id); });
}

hid_device* hid_open_at(const char* path)
{
    return taking_turns([=] { return hid_open_path(path); });
}

hid_device* hid_open_first(unsigned short vendor_id, unsigned short product_id)
{
    return taking_turns([=] { return hid_open(vendor_id, product_id, nullptr); });
}

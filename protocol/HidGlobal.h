#pragma once

#include <hidapi.h>

// hidapi's calls without a device (listing, opening) share one error string,
// which each of them frees and replaces: the threads that update wallets side
// by side take turns at them, and each thread keeps the error of its own last
// call, which device_error_text(nullptr) reads.
hid_device_info* hid_list(unsigned short vendor_id, unsigned short product_id);
hid_device* hid_open_at(const char* path);
hid_device* hid_open_first(unsigned short vendor_id, unsigned short product_id);

// The error of this thread's last call above.
class QString;
QString last_global_error();

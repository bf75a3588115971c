#pragma once

#include <QString>

// Device permissions on Linux: a wallet's hidraw nodes belong to root unless a
// udev rule hands them to the logged-in user. Every front end names the
// problem with the same words.

// True when hidapi's error text says the open was refused for lack of permission.
bool is_permission_error(const QString& device_error);

// What to tell a user who cannot open `path`: the rule to install and how.
QString permission_hint(const QString& path);

// True when a rules file in one of the settings' udev folders matches the
// wallet's vendor, whatever the product.
bool udev_rule_installed();

// One line for a user who can open the wallet now (as root, or by hand-set
// permissions) but has no rule, so the bootloader it restarts into, a new
// node, may not be: empty when there is a rule or the program runs as root.
QString missing_udev_rule_warning();

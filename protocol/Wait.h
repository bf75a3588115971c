#pragma once

// Waits `ms` milliseconds on the monotonic clock while the event loop keeps
// running, so the window stays responsive. Wall-clock changes and midnight do
// not stretch or cut the wait.
void msleep(unsigned int ms);

// Replaces the wait, so that tests of searches which would take 20 s run at
// once; the hook gets the requested milliseconds. nullptr restores the real wait.
using WaitHook = void (*)(unsigned int ms);
void set_wait_hook(WaitHook hook);

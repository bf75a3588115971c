#pragma once

// Waits `ms` milliseconds on the monotonic clock while the event loop keeps
// running, so the window stays responsive. Wall-clock changes and midnight do
// not stretch or cut the wait.
void msleep(unsigned int ms);

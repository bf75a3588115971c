#pragma once

// Waits `ms` milliseconds on the monotonic clock while the event loop keeps
// running, so the window stays responsive. Wall-clock changes and midnight do
// not stretch or cut the wait. A wait set in the run-time settings replaces it
// (tests pass the time on the simulated bus instead).
void msleep(unsigned int ms);

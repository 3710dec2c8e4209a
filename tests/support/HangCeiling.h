#pragma once

namespace tovarine::test {

// How long a test waits for an event of real work (a child process, a thread, a socket, a page or a model
// loading) before it calls the wait a hang. A test waits for the event itself; this ceiling only ends a wait
// that would never end, so it is minutes: a busy two-core machine runs the same work several times slower
// than an idle one, and no test may fail for that. Waits that show something does NOT happen are not hangs
// and keep their own short spans. CTest's per-test TIMEOUT (cmake/TovarineTesting.cmake) stays above it.
inline constexpr int kHangCeilingMs = 3 * 60 * 1000;

// The same for the one wait of a slow test on a whole real photogrammetry run (minutes on an idle machine).
inline constexpr int kLongHangCeilingMs = 30 * 60 * 1000;

} // namespace tovarine::test

#pragma once

#include <functional>
#include <stop_token>

// Worker threads for the print-prep panels' long work (measuring, exporting, the mesh tools). A started
// work item is never cancelled by its panel; it is only asked to stop when the application is about to quit,
// through the stop token it was given, and the quit then waits for every item to end.
namespace tovarine::BackgroundRun {

// Starts `work` on a worker thread. The first call (GUI thread, after the application object exists) hooks
// stopAll() to the application's aboutToQuit. Any thread after that.
void start(std::function<void(std::stop_token)> work);

// Requests a stop of every running item and waits until all have ended. GUI thread.
void stopAll();

// Waits up to `timeoutMs` (-1: no limit) until no item runs; true when none does. Any thread but a worker.
bool waitForIdle(int timeoutMs = -1);

} // namespace tovarine::BackgroundRun

#pragma once

#include <QString>
#include <optional>

// Finds the engine page's folder "MorvelEngine". The engine is not shipped with the application; a build
// without the folder gives the "engine missing from this build" outcome. Any thread.
namespace tovarine::MorvelEngineLocator {

// The first existing folder of: the injected folder (when one is injected, it is the only candidate);
// "<application dir>/MorvelEngine"; "<application dir>/../share/tovarine-companion/MorvelEngine"; the build
// tree's "MorvelEngine". Absolute and cleaned; empty when none exists.
QString engineFolder();

// Tests: a folder to use instead of the search (an empty text means "no engine"); nothing restores the
// search.
void setEngineFolderForTesting(const std::optional<QString>& folder);

} // namespace tovarine::MorvelEngineLocator

#pragma once

#include <string>

// Points XDG_CONFIG_HOME at a fresh folder of this run's own, <temp>/<prefix>-<pid>, so that a fuzz target's
// store is never the user's. At exit the store is closed and the folder removed. Call once, from
// LLVMFuzzerInitialize, before the first registry call; a folder that cannot be made throws
// std::filesystem::filesystem_error, which ends the run (nothing can be fuzzed without it).
void useScratchConfigHome(const std::string& prefix);

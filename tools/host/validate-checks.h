// The checks of tarskverb-host validate. Each check loads the plug-in itself, so that the runner can
// give every check a process of its own: a crash or a hang then fails that check only.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tarskhost::validate {

enum class CheckStatus { pass, fail, skip };

struct CheckResult {
    CheckStatus status = CheckStatus::pass;
    std::string detail;  // the figures, or why it failed or was skipped
};

struct CheckContext {
    std::string pluginPath;
    uint64_t seed = 0;  // this check's own seed, derived from the run's
    bool quick = false;
};

struct Check {
    const char* name;
    CheckResult (*run)(const CheckContext& context);
};

std::span<const Check> validateChecks();

}  // namespace tarskhost::validate

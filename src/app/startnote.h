#pragma once

#include <QString>
#include <optional>

struct RunRecord;
struct SoftConfig;

// What the status line says once the window has opened its profile, after the welcome text.
namespace startnote {

// Where a new operator starts: a profile without a site or a shop names what to set first;
// empty when both are there.
QString firstSteps(const std::optional<SoftConfig> &config);

// How the last unattended run ended, in one line.
QString lastRun(const RunRecord &record);

} // namespace startnote

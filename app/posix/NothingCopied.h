// Why a run copied nothing, for standard error: a script that keeps only
// that stream must learn it too, with the path concerned.
#pragma once

#include <string>

#include "app/RunOutcome.h"

// One line, with its end, for a run that ended with nothing copied; empty
// for one that copied.
std::string NothingCopiedReason(const RunOutcome& run);

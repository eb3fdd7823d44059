// What the Linux program's exit status tells a script of a run: 0 all
// done, 1 the run went through but left captions or folders behind, 2
// nothing copied. A signal that ends the program gives 128 + its number, as
// every program's does.
#pragma once

#include "app/RunOutcome.h"

constexpr int kExitAllCopied = 0;
constexpr int kExitPartly = 1;
constexpr int kExitNothingCopied = 2;  // also a wrong command line

int ExitStatusOf(const RunOutcome& run);

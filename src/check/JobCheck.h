#pragma once

#include "check/Finding.h"

namespace qm {

struct Context;

// Goes through the current job as a run would, without running it: the settings, every index
// entry and every index file it picks, line by line, with the conversion's own parsing and
// image rules. Every finding goes to `sink` as it is found, none stops the check. Nothing is
// created, written, moved, renamed or deleted, nothing is asked and nothing is logged; the
// only calls on the machine are tests, listings and reads.
CheckTotals CheckJob(Context& context, FindingSink& sink);

} // namespace qm

#pragma once

#include "ExitStatus.h"
#include "HeadlessRun.h"
#include "JsonText.h"

// What a run prints for scripts, one JSON object per line: each step as it completes, then the
// result; and the exit status it ends with.
Json stepJson(const HeadlessRun::StepResult& step);
Json resultJson(const HeadlessRun::Outcome& outcome);
ExitStatus exitStatusOf(const HeadlessRun::Outcome& outcome);

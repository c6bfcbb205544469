// kestrava-publish's progress line on stderr: files, bytes and rate of the step under
// way, redrawn a few times a second, and nothing at all when stderr is not a terminal
// (a log, a pipe, a CI job).
#pragma once

#include "publish_progress.h"

ProgressSink TerminalProgress();

// Whether a person watches: the console tools draw a progress line only on a terminal,
// never into a log, a pipe or a CI job's output.
#pragma once

bool StderrIsTerminal();

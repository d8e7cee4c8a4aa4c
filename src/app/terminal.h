#pragma once

// What the command line needs of the console it runs in: whether the progress goes to a terminal
// and how wide it is, Ctrl+C turned into a request to cancel, and a pseudo-terminal's input
// drained before its simulator goes away. One implementation per platform.

#include <string>

namespace vkt::terminal {

bool stderr_is_terminal();
// Characters per line of the terminal on stderr; 80 when that cannot be told.
int stderr_columns();

// From now on Ctrl+C (and a polite request to stop) only raises a flag that interrupted() reads.
void catch_interrupts();
bool interrupted();

// The line settings of the pseudo-terminal at `path` as they are now (empty when unknown).
std::string line_settings(const std::string& path);
// Waits up to `timeout_ms` until the reader of the pseudo-terminal at `path` has taken in
// everything sent to it and let go of the terminal: a reader sets the line up when it opens the
// terminal and puts back `initial_settings` when it closes it.
void wait_until_read(const std::string& path, const std::string& initial_settings, int timeout_ms);

}  // namespace vkt::terminal

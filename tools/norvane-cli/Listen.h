#pragma once

#include <string>
#include <vector>

namespace norvane::cli
{

/** `norvane-cli listen [--seconds S] [--buffer FRAMES] [--folder APPFOLDER] [--echo]`: plays
    what reaches the program's MIDI inputs (its JACK client's "midi_in" and the machine's MIDI
    sources) through the system's default output (JACK while a server runs) for S seconds, as
    the window would, live patches recalled by Program Change from APPFOLDER (default: a
    temporary one). Prints a line when it is ready to play and one for every Program Change.
    Returns the process exit code. */
int listen(const std::vector<std::string>& args);

} // namespace norvane::cli

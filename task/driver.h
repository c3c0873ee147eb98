// The run driver: the command line, the help text and the phases of a run, in order, ending in the
// report on the finished destination.
#pragma once

namespace wavsplice {

// Runs the program on its command line and returns the exit status. All output goes to standard
// output; a failure's message is printed here.
int RunWavsplice(int argc, const char* const* argv);

}  // namespace wavsplice

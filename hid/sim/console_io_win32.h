// The virtual switch's console on the standard handles: the wire log and
// replies out, one flushed line each, and the typed commands in.
#pragma once

#include <functional>
#include <string>

namespace hidsim {

// One line to standard output, flushed; safe from any thread.
void WriteConsoleLine(const std::string& line);
// Calls handle with each line of standard input (without its line end) until
// the input ends.
void ForEachInputLine(const std::function<void(const std::string&)>& handle);

}  // namespace hidsim

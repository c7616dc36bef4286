// pelorandix.exe's main: parses the command line and runs the command on
// the running program, or, when none runs, on the switch taken for this
// call alone.
#pragma once

#include <functional>

namespace cli {

// `installLayer` installs the HID layer's platform and carrier; it is
// called only when the switch is taken for this call.
int RunCommandLine(int argc, char* argv[], const std::function<void()>& installLayer);

}  // namespace cli

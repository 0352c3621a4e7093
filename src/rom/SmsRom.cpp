#include "rom/ConsoleRoms.hpp"

// Not built yet: the viewer for this console comes with its own change.
std::string smsRomProblem(const RomPicture &, bool) {
    return "Error: The viewer ROM for this console is not available yet.\n";
}

std::vector<uint8_t> buildSmsRom(const RomPicture &, bool) {
    return {};
}

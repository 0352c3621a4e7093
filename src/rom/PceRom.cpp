#include "rom/ConsoleRoms.hpp"

// Not built yet: the viewer for this console comes with its own change.
std::string pceRomProblem(const RomPicture &) {
    return "Error: The viewer ROM for this console is not available yet.\n";
}

std::vector<uint8_t> buildPceRom(const RomPicture &) {
    return {};
}

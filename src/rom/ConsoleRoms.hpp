// The viewer ROM of each console, one file each.
#pragma once

#include "rom/ViewerRom.hpp"

std::string smsRomProblem(const RomPicture &picture, bool gameGear);
std::vector<uint8_t> buildSmsRom(const RomPicture &picture, bool gameGear);

std::string megaDriveRomProblem(const RomPicture &picture);
std::vector<uint8_t> buildMegaDriveRom(const RomPicture &picture);

std::string snesRomProblem(const RomPicture &picture);
std::vector<uint8_t> buildSnesRom(const RomPicture &picture);

std::string pceRomProblem(const RomPicture &picture);
std::vector<uint8_t> buildPceRom(const RomPicture &picture);

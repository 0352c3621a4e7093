#include "rom/ViewerRom.hpp"

#include "rom/ConsoleRoms.hpp"

std::string viewerRomProblem(RomKind kind, const RomPicture &picture) {
    switch (kind) {
    case RomKind::Sms:
    case RomKind::GameGear:
        return smsRomProblem(picture, kind == RomKind::GameGear);
    case RomKind::MegaDrive:
        return megaDriveRomProblem(picture);
    case RomKind::Snes:
        return snesRomProblem(picture);
    case RomKind::PcEngine:
        return pceRomProblem(picture);
    case RomKind::None:
        break;
    }
    return "Error: No viewer ROM for this target.\n";
}

std::vector<uint8_t> buildViewerRom(RomKind kind, const RomPicture &picture) {
    switch (kind) {
    case RomKind::Sms:
    case RomKind::GameGear:
        return buildSmsRom(picture, kind == RomKind::GameGear);
    case RomKind::MegaDrive:
        return buildMegaDriveRom(picture);
    case RomKind::Snes:
        return buildSnesRom(picture);
    case RomKind::PcEngine:
        return buildPceRom(picture);
    case RomKind::None:
        break;
    }
    return {};
}

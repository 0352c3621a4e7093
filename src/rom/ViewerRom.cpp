#include "rom/ViewerRom.hpp"

#include "rom/ConsoleRoms.hpp"

namespace {

struct ViewerRom {
    RomKind kind;
    std::string (*problem)(const RomPicture &);
    std::vector<uint8_t> (*build)(const RomPicture &);
};

const ViewerRom kViewerRoms[] = {
    {RomKind::Sms, [](const RomPicture &p) { return smsRomProblem(p, false); },
     [](const RomPicture &p) { return buildSmsRom(p, false); }},
    {RomKind::GameGear, [](const RomPicture &p) { return smsRomProblem(p, true); },
     [](const RomPicture &p) { return buildSmsRom(p, true); }},
    {RomKind::MegaDrive, megaDriveRomProblem, buildMegaDriveRom},
    {RomKind::Snes, snesRomProblem, buildSnesRom},
    {RomKind::PcEngine, pceRomProblem, buildPceRom},
};

const ViewerRom *viewerRom(RomKind kind) {
    for (const ViewerRom &rom : kViewerRoms)
        if (rom.kind == kind)
            return &rom;
    return nullptr;
}

} // namespace

size_t powerOfTwoRomSize(size_t bytes, size_t least) {
    size_t size = least;
    while (size < bytes)
        size *= 2;
    return size;
}

std::string viewerRomProblem(RomKind kind, const RomPicture &picture) {
    const ViewerRom *rom = viewerRom(kind);
    return rom != nullptr ? rom->problem(picture) : "Error: No viewer ROM for this target.\n";
}

std::vector<uint8_t> buildViewerRom(RomKind kind, const RomPicture &picture) {
    const ViewerRom *rom = viewerRom(kind);
    return rom != nullptr ? rom->build(picture) : std::vector<uint8_t>{};
}

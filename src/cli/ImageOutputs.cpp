#include "cli/ImageOutputs.hpp"

#include "codegen/CodeFile.hpp"
#include "common/JobError.hpp"
#include "common/OutputFile.hpp"
#include "common/Threads.hpp"
#include "rom/ViewerRom.hpp"
#include "tiles/NameTable.hpp"
#include "tiles/PaletteFile.hpp"
#include "tiles/Preview.hpp"

#include <cstdio>
#include <ctime>
#include <new>

namespace {

// The raw index of the background pixel (-bg) of the padded picture, for -t.
uint8_t backgroundIndex(const JobSettings &s, const WorkImage &image) {
    if (s.bgX < 0 || s.bgY < 0 || s.bgX >= image.width || s.bgY >= image.height)
        failBackgroundOutside(s.bgX, s.bgY);
    if (image.bitsPerPixel != 8)
        return 0;
    return image.pixels[static_cast<size_t>(s.bgY) * rowBytes(image) + static_cast<size_t>(s.bgX)];
}

void checkUsedIndices(const JobPlan &plan, const PatternBuffer &buffer) {
    if (directColour(plan))
        return;
    const size_t used = buffer.usedIndices.size();
    if (used <= static_cast<size_t>(plan.colourLimit))
        return;
    char text[96] = {};
    std::snprintf(text, sizeof text,
                  "Error: Something went wrong.. found %d colors in the quantised image\n",
                  static_cast<int>(used));
    failJob(text);
}

void writeFile(const std::string &name, const std::vector<uint8_t> &bytes) {
    writeJobFile(name, bytes.data(), bytes.size());
}

void writePalette(const JobSettings &settings, const JobPlan &plan, const ConvertedImage &image,
                  const PixelMapping &mapping) {
    if (directColour(plan))
        return;
    if (settings.verbose)
        std::printf("Writing palette data (%d colors) to %s.pal\n", image.indexed.colourCount,
                    settings.outputBaseName.c_str());
    writeFile(plan.paletteName, encodePalette(image.consolePalette, plan.target->colourWord,
                                              image.indexed.colourCount, mapping.transparency,
                                              mapping.backgroundIndex));
}

// What the tile limit means for this picture, and what helps.
void warnTileLimit(const JobSettings &settings, const TargetRow &target, int64_t unique) {
    std::printf("Warning: More than %d unique tiles. No name table will be written.\n",
                target.tileLimit);
    if (!settings.optimiseTiles)
        std::printf("Warning: Found %lld unique tiles; -opt drops repeated%s tiles.\n",
                    static_cast<long long>(unique), target.canFlip ? " and mirrored" : "");
    else
        std::printf("Warning: Found %lld unique tiles; a name table holds at most %d: use fewer "
                    "distinct tiles, or split the picture.\n",
                    static_cast<long long>(unique), target.tileLimit);
}

void writeNames(const JobSettings &settings, const JobPlan &plan, const TileSet &tiles,
                const std::vector<uint8_t> &tilePalettes) {
    const TargetRow &target = *plan.target;
    const int64_t unique = static_cast<int64_t>(tiles.uniqueTiles.size());
    if (unique > target.tileLimit) {
        if (!target.bitmapMode)
            warnTileLimit(settings, target, unique);
        return;
    }
    if (target.bitmapMode)
        return;
    if (target.overlapTileCount != 0 && unique > target.overlapTileCount)
        std::printf("Warning: More than %d unique tiles found. Pattern table and name table "
                    "will overlap.\n",
                    target.overlapTileCount);
    if (settings.verbose)
        std::printf("Writing name table data to %s\n", plan.nameTableName.c_str());
    writeFile(plan.nameTableName, encodeNameTable(tiles, target.nameEntry, tilePalettes));
}

// Every tile position at the format's full bytes per tile, or the bitmap's length.
int64_t unoptimisedSize(const JobPlan &plan, const ConvertedImage &image, size_t length) {
    if (plan.target->bitmapMode)
        return static_cast<int64_t>(length);
    const WorkImage &indexed = image.indexed.image;
    int64_t tiles = int64_t{indexed.width / kTileSide} * (indexed.height / kTileSide);
    return tiles * plan.format->bitsPerPixel * kTileSide;
}

std::tm localNow() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

void writeCode(const JobSettings &settings, const JobPlan &plan, const ConvertedImage &image,
               CodecSettings codec) {
    if (plan.target->codeForm == CodeForm::None) {
        std::fputs("Warning: No code file template for this target. No code file written.\n",
                   stdout);
        return;
    }
    std::printf("Writing code to %s\n", plan.codeName.c_str());
    CodeFileValues values;
    values.dictSize = codec.dictSize;
    values.threshold = codec.threshold;
    values.planeCount = image.planeCount;
    values.formatPlanes = signedPlanes(*plan.format);
    values.outputBaseName = settings.outputBaseName;
    values.time = localNow();
    writeCodeFile(plan.codeName, plan.target->codeForm, values);
}

void writePatterns(const JobSettings &settings, const JobPlan &plan, const ConvertedImage &image,
                   const PatternBuffer &buffer) {
    const std::string &name = plan.patternName;
    PatternOutput output{name,
                         buffer.bytes.data(),
                         buffer.length,
                         unoptimisedSize(plan, image, buffer.length),
                         settings.verbose,
                         threadCount(settings.threads)};
    if (!plan.pack) {
        std::printf("Writing pattern data to %s..\n", name.c_str());
        writeRawPatterns(output, !plan.target->bitmapMode);
        return;
    }
    if (plan.target->fixedCodec &&
        (settings.dictSize || settings.threshold || settings.autoCompress))
        std::fputs("Warning: 32x pattern data is always packed with -dict 4096 -threshold 2.\n",
                   stdout);
    std::printf("Encoding pattern data and writing to %s..\n", name.c_str());
    const CodecSettings used = writeCompressedPatterns(output, plan.searchCodec, plan.codec);
    if (settings.writeCode)
        writeCode(settings, plan, image, used);
}

void writePreview(const JobSettings &settings, const JobPlan &plan, const ConvertedImage &image) {
    if (plan.previewName.empty())
        return;
    if (directColour(plan)) {
        std::fputs("Warning: No preview for direct colour (d15).\n", stdout);
        return;
    }
    if (settings.verbose)
        std::printf("Writing preview to %s\n", plan.previewName.c_str());
    // Every colour of the picture is widened, also those no pixel of a tile uses.
    const Palette widened = expandPreviewPalette(image.consolePalette, plan.target->widening,
                                                 image.indexed.colourCount);
    const WorkImage &pixels =
        image.tilePalettes.empty() ? image.indexed.image : image.previewPixels;
    writeFile(plan.previewName, encodePreviewBitmap(pixels, widened));
}

bool writesRom(const JobPlan &plan) {
    return !plan.romName.empty() && plan.target->rom != RomKind::None && !directColour(plan);
}

// The viewer's data: the bytes of the palette, name table and pattern files.
RomPicture romPicture(const JobPlan &plan, const ConvertedImage &image,
                      const EncodedPatterns &patterns) {
    RomPicture picture;
    picture.columns = image.indexed.image.width / kTileSide;
    picture.rows = image.indexed.image.height / kTileSide;
    picture.tileCount = static_cast<int32_t>(image.tiles.uniqueTiles.size());
    picture.planeCount = image.planeCount;
    picture.tilePlanes = plan.format->tilePlanes;
    picture.paletteCount = image.paletteCount;
    picture.palette =
        encodePalette(image.consolePalette, plan.target->colourWord, image.indexed.colourCount,
                      patterns.mapping.transparency, patterns.mapping.backgroundIndex);
    picture.names = encodeNameTable(image.tiles, plan.target->nameEntry, image.tilePalettes);
    picture.patterns.assign(patterns.buffer.bytes.begin(),
                            patterns.buffer.bytes.begin() +
                                static_cast<ptrdiff_t>(patterns.buffer.length));
    return picture;
}

void writeRom(const JobPlan &plan, const ConvertedImage &image, const EncodedPatterns &patterns) {
    if (plan.romName.empty())
        return;
    if (!writesRom(plan)) {
        std::fputs("Warning: No viewer ROM for this target or format. No ROM written.\n", stdout);
        return;
    }
    std::printf("Writing viewer ROM to %s\n", plan.romName.c_str());
    writeFile(plan.romName, buildViewerRom(plan.target->rom, romPicture(plan, image, patterns)));
}

} // namespace

void warnIfPlanesShort(const JobPlan &plan, int32_t planeCount) {
    const int32_t read = plan.format->tilePlanes;
    if (read == 0 || planeCount >= read || (plan.pack && plan.target->decoderWidensPlanes))
        return;
    std::printf("Warning: Storing %d of the %d bit planes the console reads; use -planes %d to "
                "load the data as it is.\n",
                planeCount, read, read);
}

EncodedPatterns encodeImagePatterns(const JobSettings &settings, const JobPlan &plan,
                                    const ConvertedImage &image, int32_t baseColour) {
    EncodedPatterns patterns;
    if (settings.chainTiles)
        std::fputs("Warning: -chain is not supported. Ignored.\n", stdout);
    patterns.mapping.transparency = settings.transparency;
    patterns.mapping.baseColour = baseColour;
    if (settings.transparency)
        patterns.mapping.backgroundIndex = backgroundIndex(settings, image.indexed.image);
    if (!encodePatterns(image.indexed.image, image.tiles, plan.target->layout, image.planeCount,
                        false, patterns.mapping, patterns.buffer))
        throw std::bad_alloc(); // no buffer fits the picture
    checkUsedIndices(plan, patterns.buffer);
    return patterns;
}

void writeImageOutputs(const JobSettings &settings, const JobPlan &plan,
                       const ConvertedImage &image, const EncodedPatterns &patterns) {
    // The ROM's limits are checked before any file is written.
    if (writesRom(plan)) {
        const std::string problem =
            viewerRomProblem(plan.target->rom, romPicture(plan, image, patterns));
        if (!problem.empty())
            failJob(problem);
    }
    writePalette(settings, plan, image, patterns.mapping);
    writeNames(settings, plan, image.tiles, image.tilePalettes);
    writePatterns(settings, plan, image, patterns.buffer);
    writePreview(settings, plan, image);
    writeRom(plan, image, patterns);
}

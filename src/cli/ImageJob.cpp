#include "cli/ImageOutputs.hpp"
#include "cli/Jobs.hpp"

#include "common/Threads.hpp"
#include "image/ColourReduction.hpp"
#include "image/ModulePicture.hpp"
#include "image/PictureSignature.hpp"
#include "image/SubPalettes.hpp"
#include "tiles/PaletteFile.hpp"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace {

// The picture padded to whole tiles, with what was read from the module's copy.
struct PaddedPicture {
    WorkImage image;
    Palette palette{}; // blue, green, red, as the module gave it
    ColourList colours;
    int64_t distinctColours = 0; // counted whole only when there are too many
    bool numbered = false;       // the image holds list positions already
};

ModuleImage loadPicture(const JobSettings &settings, const ImageLibrary &library) {
    if (settings.verbose)
        std::printf("Loading image file: %s\n", settings.inputName.c_str());
    ModuleImage image = loadModuleImage(library, settings.inputName);
    if (!image)
        failJob("Error: Failed to load image file: " + settings.inputName + "\n" +
                loadFailureReason(settings.inputName, lastModuleError(library)));
    return image;
}

void resizeIfAsked(const JobSettings &s, const ImageLibrary &library, MorvikImage *image) {
    int32_t width = library.getWidth(image);
    int32_t height = library.getHeight(image);
    bool resize =
        (s.newWidth != 0 && s.newWidth != width) || (s.newHeight != 0 && s.newHeight != height);
    if (!resize)
        return;
    int32_t newWidth = s.newWidth != 0 ? s.newWidth : width;
    int32_t newHeight = s.newHeight != 0 ? s.newHeight : height;
    if (s.verbose)
        std::printf("Resizing image to %d*%d pixels.\n", newWidth, newHeight);
    library.resize(image, newWidth, newHeight, s.resizeFilter == ResizeFilter::Smooth ? 0 : 1);
}

// The module's pixels, once their depth is known to be one the program reads.
PictureView checkedPicture(const JobSettings &settings, const ImageLibrary &library,
                           MorvikImage *image) {
    PictureView view = viewOfModuleImage(library, image);
    if (view.bitsPerPixel == 32 && (settings.verbose || hasTranslucentPixel(view)))
        std::fputs("Warning: Alpha channel is ignored for 32-bit images.\n", stdout);
    const int32_t depth = view.bitsPerPixel;
    if ((depth != 8 && depth != 24 && depth != 32) || view.pixels == nullptr || view.width <= 0 ||
        view.height <= 0) {
        char text[64] = {};
        std::snprintf(text, sizeof text, "Error: Color format not supported: %d bpp.\n", depth);
        failJob(text);
    }
    return view;
}

// A 24- or 32-bit picture is numbered as it is counted, so that no padded
// truecolour copy is made unless it has to be quantised.
bool numbersWhileCounting(const JobPlan &plan, const PictureView &view) {
    return !directColour(plan) && view.bitsPerPixel != 8 && plan.colourLimit >= 1 &&
           plan.colourLimit <= 256 && paddedSide(view.width) <= INT32_MAX &&
           paddedSide(view.height) <= INT32_MAX;
}

NumberedColours countPictureColours(const JobSettings &settings, const JobPlan &plan,
                                    const PictureView &view) {
    if (directColour(plan))
        return {};
    if (settings.verbose)
        std::fputs("Counting colors..\n", stdout);
    const int32_t threads = threadCount(settings.threads);
    if (numbersWhileCounting(plan, view))
        return countAndNumberColours(view, static_cast<int32_t>(paddedSide(view.width)),
                                     static_cast<int32_t>(paddedSide(view.height)),
                                     plan.colourLimit, threads);
    return {countColours(view, plan.colourLimit, threads), {}};
}



// Load, resize, check, count and pad; the module's picture is freed on return.
PaddedPicture preparePicture(const JobSettings &settings, const JobPlan &plan,
                             const ImageLibrary &library) {
    ModuleImage image = loadPicture(settings, library);
    warnIfFormatRefused(plan, settings);
    warnIfPalettesRefused(plan);
    resizeIfAsked(settings, library, image.get());
    const PictureView view = checkedPicture(settings, library, image.get());
    warnIfQuantiseRefused(plan, settings);
    PaddedPicture padded;
    NumberedColours counted = countPictureColours(settings, plan, view);
    padded.colours = counted.colours;
    if (!directColour(plan) && padded.colours.size() > static_cast<size_t>(plan.colourLimit))
        padded.distinctColours = countDistinctColours(view);
    // With -t the padding takes colour 0, the colour of the pixel -bg names from the top.
    const FillRow fillRow = settings.transparency ? FillRow::FromTop : FillRow::FromBottom;
    padded.numbered = !counted.numbered.pixels.empty();
    if (padded.numbered)
        padded.image = padNumberedPicture(
            std::move(counted), view, planPadding(view, settings.bgX, settings.bgY, fillRow));
    else
        padded.image = padAndFlipImage(view, settings.bgX, settings.bgY, fillRow);
    padded.palette = modulePalette(library, image.get());
    return padded;
}

IndexedImage reducePicture(const JobSettings &settings, const JobPlan &plan, PaddedPicture padded) {
    ReductionRequest request;
    request.directColour = directColour(plan);
    request.limit = plan.colourLimit;
    request.dither = settings.dither;
    request.verbose = settings.verbose;
    request.threads = threadCount(settings.threads);
    if (padded.distinctColours > 0)
        std::printf("Quantising %lld colours to %d.\n",
                    static_cast<long long>(padded.distinctColours), plan.colourLimit);
    if (padded.numbered)
        return numberedImage(padded.colours, std::move(padded.image));
    QuantNetwork network;
    return reduceColours(padded.colours, std::move(padded.image), padded.palette, network, request);
}

TileSet buildTiles(const JobSettings &settings, const JobPlan &plan, const WorkImage &indexed) {
    if (plan.target->bitmapMode)
        return {};
    return buildTileSet(indexed, settings.optimiseTiles, plan.target->canFlip, settings.verbose,
                        threadCount(settings.threads));
}

void spreadOverSubPalettes(const JobSettings &settings, const JobPlan &plan,
                           ConvertedImage &image) {
    SubPaletteRequest request;
    request.maxPalettes = plan.palettes;
    request.coloursEach = plan.coloursEach;
    request.componentBits = plan.target->componentBits;
    request.bgX = settings.bgX;
    request.bgY = settings.bgY;
    request.dither = settings.dither;
    request.verbose = settings.verbose;
    SubPaletteResult result = buildSubPalettes(image.indexed, request);
    image.previewPixels = previewIndexes(result);
    image.paletteCount = result.paletteCount;
    image.tilePalettes = std::move(result.tilePalettes);
    image.indexed = std::move(result.local);
}

// The colours the planes must hold: with sub-palettes the largest local index + 1.
int32_t storedColours(const JobPlan &plan, const IndexedImage &indexed) {
    if (plan.palettes == 1)
        return indexed.colourCount;
    const auto &pixels = indexed.image.pixels;
    return pixels.empty() ? 1 : *std::max_element(pixels.begin(), pixels.end()) + 1;
}

int finish() {
    std::fputs("Done.\n", stdout);
    return kExitSuccess;
}

int convertImage(const JobSettings &settings, const JobPlan &plan, const ImageLibrary &library) {
    PaddedPicture padded = preparePicture(settings, plan, library);
    warnIfPlanesIgnored(plan.planes);
    ConvertedImage image;
    image.indexed = reducePicture(settings, plan, std::move(padded));
    warnIfPlanesBad(plan.planes, *plan.format);
    if (plan.palettes > 1)
        spreadOverSubPalettes(settings, plan, image);
    const int32_t colourCount = storedColours(plan, image.indexed);
    if (!directColour(plan))
        image.consolePalette = reduceComponents(image.indexed.palette, plan.target->componentBits);
    image.tiles = buildTiles(settings, plan, image.indexed.image);
    if (!plan.target->writesFiles) {
        std::fputs("Warning: No -target given: nothing is written.\n", stdout);
        return finish();
    }
    const int32_t baseColour = settleBaseColour(*plan.format, colourCount, settings.baseColour);
    image.planeCount = choosePlaneCount(colourCount, baseColour, *plan.format, plan.planes);
    reportPlaneCount(*plan.format, image.planeCount);
    warnIfPlanesShort(plan, image.planeCount);
    const EncodedPatterns patterns = encodeImagePatterns(settings, plan, image, baseColour);
    writeImageOutputs(settings, plan, image, patterns);
    return finish();
}

} // namespace

int runImageJob(const JobSettings &settings, CodecSettings codec, const ImageLibrary &library) {
    if (settings.inputName.empty())
        failJob("Error: No input file.\n");
    if (!imageLibraryReady(library))
        failJob("Error: Image module not loaded.\n");
    const JobPlan plan = settleJobPlan(settings, codec);
    checkOutputCollisions(plan, settings);
    checkPalettesAndBase(plan, settings);
    return convertImage(settings, plan, library);
}

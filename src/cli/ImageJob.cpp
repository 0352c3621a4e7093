#include "cli/Jobs.hpp"

#include "codegen/CodeFile.hpp"
#include "common/OutputFile.hpp"
#include "lzss/PatternOutput.hpp"
#include "tiles/NameTable.hpp"
#include "tiles/PaletteFile.hpp"
#include "tiles/Preview.hpp"

#include "image/ColourReduction.hpp"
#include "image/NeuQuant.hpp"
#include "image/WorkImage.hpp"
#include "tiles/PlaneCount.hpp"
#include "tiles/TileEncoder.hpp"
#include "tiles/TileSet.hpp"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace {

// The module's image, freed when the job ends whichever way it ends.
struct ImageHandle {
    const ImageLibrary &library;
    MorvikImage *handle = nullptr;
    explicit ImageHandle(const ImageLibrary &lib) : library(lib) {}
    ImageHandle(const ImageHandle &) = delete;
    ImageHandle &operator=(const ImageHandle &) = delete;
    ~ImageHandle() { release(); }
    void release() {
        if (handle != nullptr)
            library.freeImage(handle);
        handle = nullptr;
    }
};

// Everything one image job holds; released together when the job ends.
struct ImageJob {
    JobSettings &settings;
    const TargetInfo &row;
    FormatTables tables;
    ImageHandle image;
    WorkImagePtr loaded;
    ColourList colours;
    int32_t colourCount = 0;
    WorkImagePtr padded;
    std::unique_ptr<QuantNetwork> network = std::make_unique<QuantNetwork>();
    WorkImagePtr indexed;
    bool bitmapMode = false;
    int32_t planeCount = 0;
    TileSet tiles;
    PixelMapping mapping;
    PatternBuffer patterns;

    ImageJob(JobSettings &s, const ImageLibrary &library)
        : settings(s), row(targetRow(s.target)), image(library) {
        fillFormatTables(tables);
    }
    bool directColour() const { return settings.format == kFormatD15; }
    int32_t formatPlanes() const { return tables.planesPerFormat[settings.format]; }
};

int fail(const char *message) {
    std::fputs(message, stdout);
    return kExitFailure;
}

int backgroundOutside(const JobSettings &settings) {
    std::printf("Error: Background position %d,%d is outside the image.\n", settings.bgX,
                settings.bgY);
    return kExitFailure;
}

bool loadImage(ImageJob &job) {
    const char *name = job.settings.inputName.c_str();
    if (job.settings.verbose)
        std::printf("Loading image file: %s\n", name);
    job.image.handle = job.image.library.loadImage(name, 1, 0, 0);
    if (job.image.handle != nullptr)
        return true;
    std::printf("Error: Failed to load image file: %s\n", name);
    return false;
}

void settleFormat(ImageJob &job) {
    FormatChoice choice = reconcileFormat(job.settings.target, job.settings.format);
    if (choice.warned)
        std::printf("Warning: Unsupported format (%d) for this target. Using default.\n",
                    job.settings.format);
    job.settings.format = choice.format;
    job.bitmapMode = choice.bitmapMode;
}

void resizeIfAsked(ImageJob &job) {
    const ImageLibrary &library = job.image.library;
    int32_t width = library.getWidth(job.image.handle);
    int32_t height = library.getHeight(job.image.handle);
    const JobSettings &s = job.settings;
    bool resize =
        (s.newWidth != 0 && s.newWidth != width) || (s.newHeight != 0 && s.newHeight != height);
    if (!resize)
        return;
    int32_t newWidth = s.newWidth != 0 ? s.newWidth : width;
    int32_t newHeight = s.newHeight != 0 ? s.newHeight : height;
    if (s.verbose)
        std::printf("Resizing image to %d*%d pixels.\n", newWidth, newHeight);
    library.resize(job.image.handle, newWidth, newHeight, s.resizeMode);
}

int buildWorkImage(ImageJob &job) {
    job.loaded = makeImageFromLibrary(job.image.library, job.image.handle);
    int32_t depth = job.loaded->bitsPerPixel;
    if (job.settings.verbose && depth == 32)
        std::fputs("Warning: Alpha channel is ignored for 32-bit images.\n", stdout);
    if ((depth != 8 && depth != 24 && depth != 32) || job.loaded->pixels == nullptr ||
        job.loaded->width <= 0 || job.loaded->height <= 0) {
        std::printf("Error: Color format not supported: %d bpp.\n", depth);
        return kExitFailure;
    }
    job.loaded->palette = extractPalette(job.image.library, job.image.handle);
    if (depth == 8 && !job.loaded->palette)
        job.loaded->palette = std::make_shared<Palette>(); // never read through a missing palette
    return kExitSuccess;
}

void checkQuantiseLimit(ImageJob &job) {
    int32_t limit = job.tables.coloursPerFormat[job.settings.format];
    int32_t &q = job.settings.quantiseColours;
    if (q >= 2 && q <= limit)
        return;
    if (job.settings.quantiseGiven)
        std::printf("Warning: Illegal quantise parameter (%d). Using default (%d).\n", q, limit);
    q = limit;
}

void countImageColours(ImageJob &job) {
    if (job.directColour())
        return;
    if (job.settings.verbose)
        std::fputs("Counting colors..\n", stdout);
    job.colours = countColours(*job.loaded, job.settings.quantiseColours);
    job.colourCount = static_cast<int32_t>(job.colours.size());
}

int padImage(ImageJob &job) {
    PadResult result = padAndFlipImage(*job.loaded, job.settings.bgX, job.settings.bgY);
    if (result.status == PadStatus::BackgroundOutside)
        return backgroundOutside(job.settings);
    if (result.status != PadStatus::Ok)
        return fail("Error: Failed to allocate memory.\n");
    job.padded = std::move(result.image);
    job.padded->palette = job.loaded->palette;
    // The padded copy holds every pixel now: the module's picture is not read again.
    job.loaded.reset();
    job.image.release();
    return kExitSuccess;
}

int reduceImageColours(ImageJob &job) {
    ReductionRequest request;
    request.directColour = job.directColour();
    request.limit = job.settings.quantiseColours;
    request.dither = job.settings.dither != 0;
    request.verbose = job.settings.verbose != 0;
    job.indexed = reduceColours(job.colours, *job.padded, *job.network, request, job.colourCount);
    if (!job.indexed)
        return kExitFailure;
    // An 8-bit picture is renumbered in place and keeps the padded pixels; any
    // other result is a new image and the padded copy is done with.
    if (job.indexed->pixels != job.padded->pixels)
        job.padded.reset();
    return kExitSuccess;
}

void buildTiles(ImageJob &job) {
    if (job.bitmapMode)
        return;
    job.tiles = buildTileSet(*job.indexed, job.settings.optimiseTiles != 0, job.row.canFlip != 0,
                             job.settings.verbose != 0);
}

int readBackground(ImageJob &job) {
    const WorkImage &image = *job.indexed;
    const JobSettings &s = job.settings;
    if (s.bgX < 0 || s.bgY < 0 || s.bgX >= image.width || s.bgY >= image.height)
        return backgroundOutside(s);
    if (image.bitsPerPixel == 8)
        job.mapping.backgroundIndex =
            image.pixels[static_cast<size_t>(s.bgY) * rowBytes(image) + static_cast<size_t>(s.bgX)];
    return kExitSuccess;
}

int encodeTiles(ImageJob &job) {
    job.mapping.transparency = job.settings.transparency != 0;
    job.mapping.baseColour = job.settings.baseColour;
    if (job.mapping.transparency && readBackground(job) != kExitSuccess)
        return kExitFailure;
    if (!encodePatterns(*job.indexed, job.tiles, job.row.layout, job.planeCount,
                        job.settings.chainTiles != 0, job.mapping, job.patterns))
        return fail("Error: Failed to allocate memory.\n");
    return kExitSuccess;
}

int checkUsedIndices(const ImageJob &job) {
    if (job.directColour())
        return kExitSuccess;
    size_t used = job.patterns.usedIndices.size();
    if (used <= static_cast<size_t>(job.settings.quantiseColours))
        return kExitSuccess;
    std::printf("Error: Something went wrong.. found %d colors in the quantised image\n",
                static_cast<int>(used));
    return kExitFailure;
}

int cannotCreate(const std::string &name, int errorCode) {
    std::fputs(createFileError(name, errorCode).c_str(), stdout);
    return kExitFailure;
}

int writeFile(const std::string &name, const std::vector<uint8_t> &bytes) {
    int errorCode = 0;
    if (!writeWholeFile(name, bytes.data(), bytes.size(), errorCode))
        return cannotCreate(name, errorCode);
    return kExitSuccess;
}

int writePalette(const ImageJob &job) {
    if (job.directColour())
        return kExitSuccess;
    const JobSettings &s = job.settings;
    if (s.verbose)
        std::printf("Writing palette data (%d colors) to %s.pal\n", job.colourCount,
                    s.outputBaseName.c_str());
    return writeFile(s.outputBaseName + ".pal",
                     encodePalette(*job.indexed->palette, job.row.colourWord, job.colourCount,
                                   job.mapping.transparency, job.mapping.backgroundIndex));
}

int writeNames(const ImageJob &job) {
    const int64_t unique = static_cast<int64_t>(job.tiles.uniqueTiles.size());
    if (unique > job.row.tileLimit) {
        if (!job.bitmapMode)
            std::printf("Warning: More than %d unique tiles. No name table will be written.\n",
                        job.row.tileLimit);
        return kExitSuccess;
    }
    if (job.bitmapMode)
        return kExitSuccess;
    if (unique > kOverlapTileCount && job.row.layout == PatternLayout::Interleaved)
        std::fputs("Warning: More than 448 unique tiles found. Pattern table and name table "
                   "will overlap.\n",
                   stdout);
    std::string name = job.settings.outputBaseName + ".nam";
    if (job.settings.verbose)
        std::printf("Writing name table data to %s\n", name.c_str());
    return writeFile(name, encodeNameTable(job.tiles, job.row.nameEntry));
}

// Every tile position at the format's full bytes per tile, or the bitmap's length.
int64_t unoptimisedSize(const ImageJob &job) {
    if (job.bitmapMode)
        return static_cast<int64_t>(job.patterns.length);
    const WorkImage &image = *job.indexed;
    int64_t tiles = int64_t{image.width / kTileSide} * (image.height / kTileSide);
    return tiles * std::abs(job.formatPlanes()) * kTileSide;
}

std::tm localNow() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

int writeCode(ImageJob &job) {
    const JobSettings &s = job.settings;
    std::string name = s.outputBaseName + job.row.codeExtension;
    std::printf("Writing code to %s\n", name.c_str());
    CodeFileValues values;
    values.dictSize = s.dictSize;
    values.threshold = s.threshold;
    values.planeCount = job.planeCount;
    values.formatPlanes = job.formatPlanes();
    values.outputBaseName = s.outputBaseName;
    values.time = localNow();
    int errorCode = 0;
    if (!writeCodeFile(name, job.row.codeForm, values, errorCode))
        return cannotCreate(name, errorCode);
    return kExitSuccess;
}

int writePatterns(ImageJob &job) {
    JobSettings &s = job.settings;
    bool pack = s.compressionMode == CompressionMode::Pack;
    if (s.outputName.empty())
        s.outputName = s.outputBaseName + (pack ? ".lzs" : ".pat");
    PatternOutput output{s.outputName, job.patterns.bytes.data(), job.patterns.length,
                         unoptimisedSize(job), s.verbose != 0};
    int errorCode = 0;
    if (!pack) {
        std::printf("Writing pattern data to %s..\n", s.outputName.c_str());
        if (!writeRawPatterns(output, !job.bitmapMode, errorCode))
            return cannotCreate(s.outputName, errorCode);
        return kExitSuccess;
    }
    std::printf("Encoding pattern data and writing to %s..\n", s.outputName.c_str());
    if (job.bitmapMode) { // the 32X decoder works with fixed settings
        s.dictSize = kDefaultDictSize;
        s.threshold = kDefaultThreshold;
    }
    bool search = s.autoCompress != 0 && !job.bitmapMode;
    if (!writeCompressedPatterns(output, search, s.dictSize, s.threshold, errorCode))
        return cannotCreate(s.outputName, errorCode);
    return s.writeCode ? writeCode(job) : kExitSuccess;
}

int writePreview(ImageJob &job) {
    if (job.directColour())
        return kExitSuccess;
    // Every colour of the image is widened, also those no pixel of a tile uses.
    expandPreviewPalette(*job.indexed->palette, job.row.widening, job.colourCount);
    const std::string &name = job.settings.previewName;
    if (name.empty())
        return kExitSuccess;
    if (job.settings.verbose)
        std::printf("Writing preview to %s\n", name.c_str());
    return writeFile(name, encodePreviewBitmap(*job.indexed));
}

// Steps 16 to 20: the output files, in the order the user sees them announced.
int writeOutputs(ImageJob &job) {
    if (writePalette(job) != kExitSuccess || writeNames(job) != kExitSuccess ||
        writePatterns(job) != kExitSuccess || writePreview(job) != kExitSuccess)
        return kExitFailure;
    return kExitSuccess;
}

int finish() {
    std::fputs("Done.\n", stdout);
    return kExitSuccess;
}

// Every step in order; each ends the job on failure, releasing what the job holds.
int convertImage(ImageJob &job) {
    if (!loadImage(job))
        return kExitFailure;
    settleFormat(job);
    resizeIfAsked(job);
    if (buildWorkImage(job) != kExitSuccess)
        return kExitFailure;
    checkQuantiseLimit(job);
    countImageColours(job);
    if (padImage(job) != kExitSuccess)
        return kExitFailure;
    settleMinPlanes(job.settings.minPlanes, job.formatPlanes());
    if (reduceImageColours(job) != kExitSuccess)
        return kExitFailure;
    job.planeCount = choosePlaneCount(job.colourCount, job.formatPlanes(), job.settings.minPlanes);
    if (!job.directColour())
        reduceComponents(*job.indexed->palette, job.row.componentBits);
    buildTiles(job);
    if (job.settings.target == kTargetNone)
        return finish();
    checkBaseColour(job.settings.format, job.colourCount, job.planeCount, job.settings.baseColour);
    if (encodeTiles(job) != kExitSuccess || checkUsedIndices(job) != kExitSuccess ||
        writeOutputs(job) != kExitSuccess)
        return kExitFailure;
    return finish();
}

} // namespace

int runImageJob(JobSettings &settings, const ImageLibrary &library) {
    if (settings.inputName.empty())
        return fail("Error: No input file.\n");
    if (!imageLibraryReady(library))
        return fail("Error: Image module not loaded.\n");
    ImageJob job(settings, library);
    return convertImage(job);
}

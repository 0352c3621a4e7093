#include "image/SubPalettes.hpp"

#include "image/NeuQuant.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <map>

namespace {

using ColourId = uint16_t; // a colour at the console's depth, numbered in first-seen order
using ColourSet = std::vector<ColourId>; // sorted
using Rgb = std::array<int32_t, 3>;

constexpr size_t kMaxTileWarnings = 5;
constexpr int32_t kGroupingRounds = 8;

// The tile position (scan order) of pixel i of a picture `width` pixels wide.
size_t tileOfPixel(size_t i, int32_t width) {
    const size_t w = static_cast<size_t>(width);
    return (i / w / kTileSide) * (w / kTileSide) + (i % w) / kTileSide;
}

// The picture seen at the console's colour depth, tile by tile.
struct TileColours {
    int32_t columns = 0;
    int32_t rows = 0;
    std::vector<ColourId> pixels; // per pixel, scan order
    std::vector<Rgb> colours;     // per id, at the console's depth
    std::vector<uint8_t> source;  // per id, the first palette index of that colour
    ColourId shared = 0;
    std::vector<ColourSet> sets; // per tile: its colours but the shared one
};

Rgb reduced(const Palette &palette, size_t index, int32_t componentBits) {
    const int shift = 8 - std::clamp(componentBits, 1, 8);
    Rgb rgb{};
    for (size_t c = 0; c < 3; ++c)
        rgb[c] = (palette[3 * index + c] >> shift) << shift;
    return rgb;
}

TileColours readTiles(const IndexedImage &indexed, const SubPaletteRequest &request) {
    const WorkImage &image = indexed.image;
    if (request.bgX < 0 || request.bgY < 0 || request.bgX >= image.width ||
        request.bgY >= image.height)
        failBackgroundOutside(request.bgX, request.bgY);
    TileColours tiles;
    tiles.columns = image.width / kTileSide;
    tiles.rows = image.height / kTileSide;
    std::array<int32_t, 256> idOf{};
    idOf.fill(-1);
    std::map<Rgb, ColourId> ids;
    tiles.pixels.resize(image.pixels.size());
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        const uint8_t index = image.pixels[i];
        if (idOf[index] < 0) {
            const Rgb rgb = reduced(indexed.palette, index, request.componentBits);
            auto [at, added] = ids.emplace(rgb, static_cast<ColourId>(tiles.colours.size()));
            if (added) {
                tiles.colours.push_back(rgb);
                tiles.source.push_back(index);
            }
            idOf[index] = at->second;
        }
        tiles.pixels[i] = static_cast<ColourId>(idOf[index]);
    }
    const size_t bg = static_cast<size_t>(request.bgY) * static_cast<size_t>(image.width) +
                      static_cast<size_t>(request.bgX);
    tiles.shared = tiles.pixels[bg];
    tiles.sets.resize(static_cast<size_t>(tiles.columns) * static_cast<size_t>(tiles.rows));
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) {
            const ColourId id = tiles.pixels[static_cast<size_t>(y) * image.width + x];
            if (id != tiles.shared)
                tiles.sets[static_cast<size_t>(y / kTileSide) * tiles.columns + x / kTileSide]
                    .push_back(id);
        }
    for (ColourSet &set : tiles.sets) {
        std::sort(set.begin(), set.end());
        set.erase(std::unique(set.begin(), set.end()), set.end());
    }
    return tiles;
}

size_t unionSize(const ColourSet &a, const ColourSet &b) {
    size_t i = 0, j = 0, count = 0;
    while (i < a.size() || j < b.size()) {
        if (j == b.size() || (i < a.size() && a[i] < b[j]))
            ++i;
        else if (i == a.size() || b[j] < a[i])
            ++j;
        else
            ++i, ++j;
        ++count;
    }
    return count;
}

ColourSet merged(const ColourSet &a, const ColourSet &b) {
    ColourSet out;
    std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

// Larger sets first, then by first appearance; each goes where it adds the
// fewest new colours (so sets that share colours share a palette, and a
// subset adds none), opening a new palette only when none can take it.
bool packSets(const std::vector<ColourSet> &tileSets, size_t capacity, size_t maxPalettes,
              std::vector<ColourSet> &palettes) {
    std::vector<ColourSet> distinct;
    for (const ColourSet &set : tileSets)
        if (std::find(distinct.begin(), distinct.end(), set) == distinct.end())
            distinct.push_back(set);
    std::stable_sort(distinct.begin(), distinct.end(),
                     [](const ColourSet &a, const ColourSet &b) { return a.size() > b.size(); });
    for (const ColourSet &set : distinct) {
        size_t best = palettes.size();
        size_t bestGrowth = std::numeric_limits<size_t>::max();
        for (size_t p = 0; p < palettes.size(); ++p) {
            const size_t size = unionSize(palettes[p], set);
            if (size <= capacity && size - palettes[p].size() < bestGrowth) {
                best = p;
                bestGrowth = size - palettes[p].size();
            }
        }
        if (best < palettes.size())
            palettes[best] = merged(palettes[best], set);
        else if (palettes.size() < maxPalettes)
            palettes.push_back(set);
        else
            return false;
    }
    if (palettes.empty())
        palettes.emplace_back(); // a picture of the shared colour alone
    return true;
}

// The tiles with more colours than a sub-palette holds; true when there are none.
bool warnCrowdedTiles(const TileColours &tiles, size_t capacity) {
    size_t crowded = 0;
    for (size_t t = 0; t < tiles.sets.size(); ++t) {
        if (tiles.sets[t].size() <= capacity)
            continue;
        if (++crowded <= kMaxTileWarnings)
            std::printf("Warning: Tile at %d,%d has %d colours; more than the %d a sub-palette "
                        "holds.\n",
                        static_cast<int>(t % tiles.columns) * kTileSide,
                        static_cast<int>(t / tiles.columns) * kTileSide,
                        static_cast<int>(tiles.sets[t].size()) + 1, static_cast<int>(capacity));
    }
    if (crowded > kMaxTileWarnings)
        std::printf("Warning: %d more tiles have more colours than a sub-palette holds.\n",
                    static_cast<int>(crowded - kMaxTileWarnings));
    return crowded == 0;
}

int64_t distance(const Rgb &a, const Rgb &b) {
    int64_t sum = 0;
    for (size_t c = 0; c < 3; ++c)
        sum += int64_t{a[c] - b[c]} * (a[c] - b[c]);
    return sum;
}

// One palette: the shared colour, then its own colours at the console's depth.
struct Group {
    std::vector<Rgb> colours;  // entry 0 is the shared colour
    std::vector<ColourId> ids; // exact palettes: the colour ids, entry 0 shared
};

// Orders palettes by their first tile in scan order and drops unused ones;
// returns the new number of every old palette.
std::vector<int32_t> orderByFirstTile(std::vector<uint8_t> &tilePalettes, size_t count) {
    std::vector<int32_t> renumber(count, -1);
    int32_t next = 0;
    for (uint8_t &p : tilePalettes) {
        if (renumber[p] < 0)
            renumber[p] = next++;
        p = static_cast<uint8_t>(renumber[p]);
    }
    return renumber;
}

// Exact palettes: each tile takes the first palette that holds its colours;
// colours inside a palette in the order the palette's tiles first show them.
std::vector<Group> exactGroups(const TileColours &tiles, const std::vector<ColourSet> &sets,
                               std::vector<uint8_t> &tilePalettes, int32_t width) {
    tilePalettes.assign(tiles.sets.size(), 0);
    for (size_t t = 0; t < tiles.sets.size(); ++t)
        for (size_t p = 0; p < sets.size(); ++p)
            if (unionSize(sets[p], tiles.sets[t]) == sets[p].size()) {
                tilePalettes[t] = static_cast<uint8_t>(p);
                break;
            }
    const std::vector<int32_t> order = orderByFirstTile(tilePalettes, sets.size());
    std::vector<Group> groups(
        static_cast<size_t>(*std::max_element(order.begin(), order.end()) + 1));
    for (Group &group : groups)
        group.ids.push_back(tiles.shared);
    for (size_t i = 0; i < tiles.pixels.size(); ++i) {
        const size_t t = tileOfPixel(i, width);
        Group &group = groups[tilePalettes[t]];
        if (std::find(group.ids.begin(), group.ids.end(), tiles.pixels[i]) == group.ids.end())
            group.ids.push_back(tiles.pixels[i]);
    }
    for (Group &group : groups)
        for (ColourId id : group.ids)
            group.colours.push_back(tiles.colours[id]);
    return groups;
}

// Each tile's mean colour, the shared colour left out.
std::vector<std::array<double, 3>> tileMeans(const TileColours &tiles, int32_t width) {
    std::vector<std::array<double, 3>> sums(tiles.sets.size(), {0, 0, 0});
    std::vector<size_t> counts(tiles.sets.size(), 0);
    for (size_t i = 0; i < tiles.pixels.size(); ++i) {
        if (tiles.pixels[i] == tiles.shared)
            continue;
        const size_t t = tileOfPixel(i, width);
        for (size_t c = 0; c < 3; ++c)
            sums[t][c] += tiles.colours[tiles.pixels[i]][c];
        ++counts[t];
    }
    for (size_t t = 0; t < sums.size(); ++t)
        for (size_t c = 0; c < 3; ++c)
            sums[t][c] = counts[t] != 0 ? sums[t][c] / static_cast<double>(counts[t])
                                        : tiles.colours[tiles.shared][c];
    return sums;
}

double squared(const std::array<double, 3> &a, const std::array<double, 3> &b) {
    double sum = 0;
    for (size_t c = 0; c < 3; ++c)
        sum += (a[c] - b[c]) * (a[c] - b[c]);
    return sum;
}

// k-means on the tiles' mean colours, seeded by the farthest-point rule from
// tile 0; ties go to the lower number, so the grouping is deterministic.
std::vector<uint8_t> groupTiles(const std::vector<std::array<double, 3>> &means, size_t k) {
    std::vector<std::array<double, 3>> centres = {means[0]};
    while (centres.size() < k) {
        size_t far = 0;
        double farthest = -1;
        for (size_t t = 0; t < means.size(); ++t) {
            double nearest = std::numeric_limits<double>::max();
            for (const auto &centre : centres)
                nearest = std::min(nearest, squared(means[t], centre));
            if (nearest > farthest) {
                farthest = nearest;
                far = t;
            }
        }
        if (farthest <= 0)
            break; // fewer distinct tiles than groups
        centres.push_back(means[far]);
    }
    std::vector<uint8_t> group(means.size(), 0);
    for (int32_t round = 0; round < kGroupingRounds; ++round) {
        for (size_t t = 0; t < means.size(); ++t) {
            size_t best = 0;
            for (size_t g = 1; g < centres.size(); ++g)
                if (squared(means[t], centres[g]) < squared(means[t], centres[best]))
                    best = g;
            group[t] = static_cast<uint8_t>(best);
        }
        std::vector<std::array<double, 3>> sums(centres.size(), {0, 0, 0});
        std::vector<size_t> counts(centres.size(), 0);
        for (size_t t = 0; t < means.size(); ++t) {
            for (size_t c = 0; c < 3; ++c)
                sums[group[t]][c] += means[t][c];
            ++counts[group[t]];
        }
        for (size_t g = 0; g < centres.size(); ++g)
            if (counts[g] != 0)
                for (size_t c = 0; c < 3; ++c)
                    centres[g][c] = sums[g][c] / static_cast<double>(counts[g]);
    }
    return group;
}

// The group's own colours: exactly when they fit, else NeuQuant's choice of
// C - 1, cut to the console's depth.
std::vector<Rgb> groupColours(const TileColours &tiles, const IndexedImage &indexed,
                              const std::vector<ColourId> &pixels, size_t capacity,
                              int32_t componentBits) {
    std::vector<ColourId> distinct(pixels);
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    std::vector<Rgb> colours;
    if (distinct.size() <= capacity) {
        for (ColourId id : distinct)
            colours.push_back(tiles.colours[id]);
        return colours;
    }
    WorkImage picture = makeBlankImage(static_cast<int32_t>(pixels.size()), 1, 24);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const size_t index = tiles.source[pixels[i]];
        for (size_t c = 0; c < 3; ++c) // the quantiser reads blue, green, red
            picture.pixels[3 * i + c] = indexed.palette[3 * index + 2 - c];
    }
    QuantNetwork network;
    const IndexedImage quantised =
        quantiseImage(network, picture, static_cast<int32_t>(capacity), false);
    for (size_t e = 0; e < capacity; ++e)
        colours.push_back(reduced(quantised.palette, e, componentBits));
    return colours;
}

std::vector<Group> quantisedGroups(const TileColours &tiles, const IndexedImage &indexed,
                                   const SubPaletteRequest &request, size_t capacity,
                                   std::vector<uint8_t> &tilePalettes) {
    const int32_t width = indexed.image.width;
    const auto means = tileMeans(tiles, width);
    tilePalettes =
        groupTiles(means, std::min(static_cast<size_t>(request.maxPalettes), means.size()));
    const std::vector<int32_t> order = orderByFirstTile(tilePalettes, 256);
    const size_t count = static_cast<size_t>(*std::max_element(order.begin(), order.end()) + 1);
    std::vector<std::vector<ColourId>> pixels(count);
    for (size_t i = 0; i < tiles.pixels.size(); ++i) {
        if (tiles.pixels[i] == tiles.shared)
            continue;
        const size_t t = tileOfPixel(i, width);
        pixels[tilePalettes[t]].push_back(tiles.pixels[i]);
    }
    std::vector<Group> groups(count);
    for (size_t g = 0; g < count; ++g) {
        groups[g].colours.push_back(tiles.colours[tiles.shared]);
        for (const Rgb &rgb :
             groupColours(tiles, indexed, pixels[g], capacity, request.componentBits))
            groups[g].colours.push_back(rgb);
    }
    return groups;
}

struct Choice {
    uint8_t nearest = 0;
    uint8_t second = 0;
    int64_t nearestDistance = 0;
    int64_t secondDistance = 0;
};

Choice nearestTwo(const std::vector<Rgb> &colours, const Rgb &rgb) {
    Choice choice{0, 0, std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::max()};
    for (size_t e = 0; e < colours.size(); ++e) {
        const int64_t d = distance(colours[e], rgb);
        if (d < choice.nearestDistance) {
            choice.second = choice.nearest;
            choice.secondDistance = choice.nearestDistance;
            choice.nearest = static_cast<uint8_t>(e);
            choice.nearestDistance = d;
        } else if (d < choice.secondDistance) {
            choice.second = static_cast<uint8_t>(e);
            choice.secondDistance = d;
        }
    }
    return choice;
}

// Every pixel's index in its tile's palette. The shared colour is 0; a colour
// the palette holds is taken exactly; any other the nearest (with -dither, on
// every other pixel of a checkerboard, the second nearest when it is close).
void mapPixels(const TileColours &tiles, const std::vector<Group> &groups,
               const SubPaletteRequest &request, SubPaletteResult &result) {
    WorkImage &local = result.local.image;
    double error = 0;
    for (size_t i = 0; i < tiles.pixels.size(); ++i) {
        const size_t x = i % static_cast<size_t>(local.width);
        const size_t y = i / static_cast<size_t>(local.width);
        const size_t t = tileOfPixel(i, local.width);
        const Group &group = groups[result.tilePalettes[t]];
        const Rgb &rgb = tiles.colours[tiles.pixels[i]];
        uint8_t entry = 0;
        if (tiles.pixels[i] != tiles.shared) {
            const Choice choice = nearestTwo(group.colours, rgb);
            const bool alternate = request.dither && ((x ^ y) & 1) != 0 &&
                                   choice.nearestDistance != 0 &&
                                   choice.secondDistance < 4 * choice.nearestDistance;
            entry = alternate ? choice.second : choice.nearest;
        }
        local.pixels[i] = entry;
        error += static_cast<double>(distance(group.colours[entry], rgb));
    }
    result.meanSquaredError = tiles.pixels.empty() ? 0.0 : error / tiles.pixels.size();
}

void storePalettes(const std::vector<Group> &groups, SubPaletteResult &result) {
    result.paletteCount = static_cast<int32_t>(groups.size());
    result.local.colourCount = result.paletteCount * result.coloursEach;
    for (size_t g = 0; g < groups.size(); ++g)
        for (size_t e = 0; e < groups[g].colours.size(); ++e)
            for (size_t c = 0; c < 3; ++c)
                result.local.palette[3 * (g * result.coloursEach + e) + c] =
                    static_cast<uint8_t>(groups[g].colours[e][c]);
}

void report(const SubPaletteResult &result, const std::vector<Group> &groups, bool verbose) {
    std::printf("Using %d sub-palettes (%s).\n", result.paletteCount,
                result.exact ? "exact" : "quantised");
    if (result.exact && !verbose)
        return;
    std::vector<int32_t> tiles(groups.size(), 0);
    for (uint8_t p : result.tilePalettes)
        ++tiles[p];
    for (size_t g = 0; g < groups.size(); ++g)
        std::printf("Sub-palette %d: %d colours, %d tiles.\n", static_cast<int>(g),
                    static_cast<int>(groups[g].colours.size()), tiles[g]);
    std::printf("Mean squared error per pixel: %.1f.\n", result.meanSquaredError);
}

} // namespace

SubPaletteResult buildSubPalettes(const IndexedImage &indexed, const SubPaletteRequest &request) {
    const TileColours tiles = readTiles(indexed, request);
    const size_t capacity = static_cast<size_t>(request.coloursEach - 1);
    SubPaletteResult result;
    result.coloursEach = request.coloursEach;
    result.local.image = makeBlankImage(indexed.image.width, indexed.image.height, 8);
    std::vector<ColourSet> sets;
    std::vector<Group> groups;
    if (warnCrowdedTiles(tiles, capacity) &&
        packSets(tiles.sets, capacity, static_cast<size_t>(request.maxPalettes), sets)) {
        groups = exactGroups(tiles, sets, result.tilePalettes, indexed.image.width);
    } else {
        if (std::all_of(tiles.sets.begin(), tiles.sets.end(),
                        [&](const ColourSet &set) { return set.size() <= capacity; }))
            std::printf("Warning: The tiles' colours do not fit %d sub-palettes of %d colours.\n",
                        request.maxPalettes, request.coloursEach);
        result.exact = false;
        groups = quantisedGroups(tiles, indexed, request, capacity, result.tilePalettes);
    }
    mapPixels(tiles, groups, request, result);
    storePalettes(groups, result);
    report(result, groups, request.verbose);
    return result;
}

WorkImage previewIndexes(const SubPaletteResult &result) {
    WorkImage preview = result.local.image;
    for (size_t i = 0; i < preview.pixels.size(); ++i) {
        const size_t t = tileOfPixel(i, preview.width);
        preview.pixels[i] =
            static_cast<uint8_t>(result.tilePalettes[t] * result.coloursEach + preview.pixels[i]);
    }
    return preview;
}

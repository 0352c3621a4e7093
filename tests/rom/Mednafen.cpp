#include "rom/Mednafen.hpp"

#include "imagemodule/TestImages.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <png.h>
#include <unistd.h>

namespace {

uint32_t be32(const std::vector<uint8_t> &d, size_t at) {
    return uint32_t{d[at]} << 24 | uint32_t{d[at + 1]} << 16 | uint32_t{d[at + 2]} << 8 | d[at + 3];
}

uint64_t be64(const std::vector<uint8_t> &d, size_t at) {
    return uint64_t{be32(d, at)} << 32 | be32(d, at + 4);
}

struct Atom {
    std::string type;
    size_t body = 0; // where the contents begin
    size_t end = 0;
};

// The atoms directly inside [begin, end).
std::vector<Atom> atomsIn(const std::vector<uint8_t> &d, size_t begin, size_t end) {
    std::vector<Atom> atoms;
    size_t at = begin;
    while (at + 8 <= end) {
        uint64_t size = be32(d, at);
        size_t header = 8;
        if (size == 1 && at + 16 <= end) {
            size = be64(d, at + 8);
            header = 16;
        } else if (size == 0) {
            size = end - at;
        }
        if (size < header || at + size > end)
            break;
        atoms.push_back({std::string(d.begin() + at + 4, d.begin() + at + 8), at + header,
                         static_cast<size_t>(at + size)});
        at += size;
    }
    return atoms;
}

// A copy, so that it outlives the temporary list it was found in.
std::optional<Atom> find(const std::vector<Atom> &atoms, const std::string &type) {
    for (const Atom &atom : atoms)
        if (atom.type == type)
            return atom;
    return std::nullopt;
}

// The frames of one video track: sample sizes (stsz), chunk offsets (stco or
// co64) and how many samples each chunk holds (stsc).
std::vector<std::vector<uint8_t>> trackFrames(const std::vector<uint8_t> &d, const Atom &stbl) {
    const auto boxes = atomsIn(d, stbl.body, stbl.end);
    const std::optional<Atom> stsz = find(boxes, "stsz");
    const std::optional<Atom> stsc = find(boxes, "stsc");
    const std::optional<Atom> stco = find(boxes, "stco");
    const std::optional<Atom> co64 = find(boxes, "co64");
    std::vector<std::vector<uint8_t>> frames;
    if (stsz == std::nullopt || stsc == std::nullopt ||
        (stco == std::nullopt && co64 == std::nullopt))
        return frames;
    const Atom &offsets = stco != std::nullopt ? *stco : *co64;
    if (stsz->body + 12 > stsz->end || offsets.body + 8 > offsets.end || stsc->body + 8 > stsc->end)
        return frames;
    const uint32_t fixed = be32(d, stsz->body + 4);
    const uint32_t samples = be32(d, stsz->body + 8);
    const uint32_t chunks = be32(d, offsets.body + 4);
    const uint32_t runs = be32(d, stsc->body + 4);
    // Every table entry read below lies inside its atom.
    if ((fixed == 0 && stsz->body + 12 + 4 * uint64_t{samples} > stsz->end) ||
        offsets.body + 8 + (stco != std::nullopt ? 4 : 8) * uint64_t{chunks} > offsets.end ||
        stsc->body + 8 + 12 * uint64_t{runs} > stsc->end)
        return frames;
    uint32_t sample = 0;
    for (uint32_t chunk = 0; chunk < chunks && sample < samples; ++chunk) {
        uint32_t perChunk = 1;
        for (uint32_t r = 0; r < runs; ++r)
            if (be32(d, stsc->body + 8 + 12 * r) <= chunk + 1)
                perChunk = be32(d, stsc->body + 8 + 12 * r + 4);
        uint64_t at = stco != std::nullopt ? be32(d, offsets.body + 8 + 4 * chunk)
                                           : be64(d, offsets.body + 8 + 8 * chunk);
        for (uint32_t k = 0; k < perChunk && sample < samples; ++k, ++sample) {
            const uint32_t size = fixed != 0 ? fixed : be32(d, stsz->body + 12 + 4 * sample);
            if (at + size > d.size())
                return frames;
            frames.emplace_back(d.begin() + static_cast<ptrdiff_t>(at),
                                d.begin() + static_cast<ptrdiff_t>(at + size));
            at += size;
        }
    }
    return frames;
}

bool isVideo(const std::vector<uint8_t> &d, const Atom &mdia) {
    const std::optional<Atom> hdlr = find(atomsIn(d, mdia.body, mdia.end), "hdlr");
    return hdlr && hdlr->body + 12 <= hdlr->end &&
           std::string(d.begin() + hdlr->body + 8, d.begin() + hdlr->body + 12) == "vide";
}

std::vector<uint8_t> readAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string quoted(const std::string &text) {
    return "'" + text + "'";
}

} // namespace

std::string mednafenPath() {
    for (const char *path : {"/usr/games/mednafen", "/usr/bin/mednafen"})
        if (access(path, X_OK) == 0)
            return path;
    return {};
}

std::vector<std::vector<uint8_t>> movieFrames(const std::vector<uint8_t> &movie) {
    const std::optional<Atom> moov = find(atomsIn(movie, 0, movie.size()), "moov");
    if (!moov)
        return {};
    for (const Atom &trak : atomsIn(movie, moov->body, moov->end)) {
        if (trak.type != "trak")
            continue;
        const std::optional<Atom> mdia = find(atomsIn(movie, trak.body, trak.end), "mdia");
        if (!mdia || !isVideo(movie, *mdia))
            continue;
        const std::optional<Atom> minf = find(atomsIn(movie, mdia->body, mdia->end), "minf");
        const std::optional<Atom> stbl =
            minf ? find(atomsIn(movie, minf->body, minf->end), "stbl") : std::nullopt;
        if (stbl)
            return trackFrames(movie, *stbl);
    }
    return {};
}

std::optional<Frame> decodePngFrame(const std::vector<uint8_t> &png) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size()))
        return std::nullopt;
    image.format = PNG_FORMAT_RGB;
    Frame frame;
    frame.width = static_cast<int>(image.width);
    frame.height = static_cast<int>(image.height);
    frame.rgb.assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, frame.rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    return frame;
}

std::optional<Frame> recordFrame(const std::string &rom, int index, std::string &error) {
    const std::string emulator = mednafenPath();
    if (emulator.empty()) {
        error = "mednafen is not installed (make test installs it)";
        return std::nullopt;
    }
    for (int seconds : {2, 4, 8, 16}) {
        testimages::TempDir home; // a fresh settings folder; the recording must be new too
        const std::string movie = home.file("rec.mov");
        const std::string command =
            "cd " + quoted(home.path.string()) + " && MEDNAFEN_HOME=" + quoted(home.path.string()) +
            " SDL_VIDEODRIVER=dummy timeout -s INT " + std::to_string(seconds) + " " + emulator +
            " -sound 0 -nothrottle 1 -video.driver softfb -qtrecord rec.mov -qtrecord.vcodec png"
            " -qtrecord.w_double_threshold 0 -qtrecord.h_double_threshold 0 " +
            quoted(std::filesystem::absolute(rom).string()) + " > log.txt 2>&1";
        std::system(command.c_str());
        const auto frames = movieFrames(readAll(movie));
        if (frames.size() > static_cast<size_t>(index)) {
            std::optional<Frame> frame = decodePngFrame(frames[static_cast<size_t>(index)]);
            if (!frame)
                error = "frame " + std::to_string(index) + " is not a PNG";
            return frame;
        }
        error = "only " + std::to_string(frames.size()) + " frames recorded in " +
                std::to_string(seconds) + " s; log: " +
                std::string(reinterpret_cast<const char *>(readAll(home.file("log.txt")).data()),
                            readAll(home.file("log.txt")).size());
    }
    return std::nullopt;
}

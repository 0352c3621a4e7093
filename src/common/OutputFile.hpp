// Output files are written to a temporary file beside their final name and
// renamed into place only when complete, so a failed run never leaves a
// half-written file and an output may safely replace its own input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

enum class OutputKind : uint8_t {
    Anonymous, // an unnamed file in the target's folder, linked in at commit (O_TMPFILE)
    Named,     // a named temporary file beside the target, renamed onto it at commit
    Direct,    // an existing device or FIFO, written in place
};

struct OutputFile {
    std::string finalName;  // the name as given, used in messages
    std::string targetName; // where the data goes: finalName with symbolic links followed
    std::string tempName;   // Named only: the temporary file's name
    OutputKind kind = OutputKind::Anonymous;
    std::FILE *stream = nullptr;
    bool failed = false;   // a write failed; commit reports it
    int errorCode = 0;     // errno of the first failure
    int registrySlot = -1; // where tempName is registered for the interrupt handler

    OutputFile() = default;
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;
    ~OutputFile(); // discards the temporary file unless committed
};

// Opens the output; false with errorCode set when it cannot. A symbolic link
// is followed and its target replaced; an existing character or block device
// or FIFO is written directly; a regular file without write permission
// (EACCES), a directory (EISDIR) or a socket (ENXIO) is refused.
bool openOutputFile(OutputFile &file, const std::string &name, bool textMode = false);

// Appends bytes; false, with errorCode set, once a write has failed.
bool appendOutputBytes(OutputFile &file, const void *data, size_t length);

// appendOutputBytes for a job: a failed write ends the job at once, with
// createFileError's message (the temporary file goes when `file` does).
void writeOutputBytes(OutputFile &file, const void *data, size_t length);

// Flushes, closes and puts the file in place; false with errorCode set on
// failure (nothing is left behind then).
bool commitOutputFile(OutputFile &file);

// Closes the file and removes what it wrote (a device or FIFO keeps what it got).
void discardOutputFile(OutputFile &file);

// Tests only: take named temporary files even where unnamed ones work.
void useNamedTemporaryFiles(bool named);

// Writes a whole file through a temporary file; false with errorCode set on failure.
bool writeWholeFile(const std::string &name, const void *data, size_t length, int &errorCode,
                    bool textMode = false);

// "Error: Failed to create file %s: %s\n" for a file that could not be written.
std::string createFileError(const std::string &name, int errorCode);

// Installs, once, a handler for SIGINT, SIGTERM and SIGHUP that removes every
// temporary file still open, then ends the process by the same signal. A signal
// the process was started with ignored stays ignored.
void installInterruptCleanup();

// The number of temporary files currently open (those an interrupt would remove).
size_t openTemporaryFileCount();

// writeWholeFile for a job: a failure ends it with createFileError's message.
void writeJobFile(const std::string &name, const void *data, size_t length, bool textMode = false);

// True when the two names reach the same regular file (or would, once
// created): the same inode, or the same path with links and dots resolved.
// Devices and FIFOs never collide: writing them twice is what was asked.
bool sameFile(const std::string &first, const std::string &second);

// The first name of the list that names the same file as an earlier one,
// or nullptr; empty names are skipped.
const std::string *firstCollision(const std::vector<const std::string *> &names);

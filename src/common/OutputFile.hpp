// Output files are written to a temporary file beside their final name and
// renamed into place only when complete, so a failed run never leaves a
// half-written file and an output may safely replace its own input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct OutputFile {
    std::string finalName;
    std::string tempName;
    std::FILE *stream = nullptr;
    bool failed = false;   // a write failed; commit reports it
    int errorCode = 0;     // errno of the first failure
    int registrySlot = -1; // where tempName is registered for the interrupt handler

    OutputFile() = default;
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;
    ~OutputFile(); // discards the temporary file unless committed
};

// Creates the temporary file; false with errorCode set when it cannot.
bool openOutputFile(OutputFile &file, const std::string &name, bool textMode = false);

// Appends bytes; a failure is remembered and reported by commitOutputFile.
void writeOutputBytes(OutputFile &file, const void *data, size_t length);

// Flushes, closes and renames into place; false with errorCode set on failure
// (the temporary file is removed then).
bool commitOutputFile(OutputFile &file);

// Closes and removes the temporary file.
void discardOutputFile(OutputFile &file);

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

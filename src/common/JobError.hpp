// How a job fails: the step that cannot go on throws a JobError with the
// message to print; the job's one boundary prints it and returns status 1.
// A failed allocation anywhere below reaches the same boundary as
// std::bad_alloc. Output files still open are discarded by their destructors
// on the way out, so a failed run leaves only the files it finished.
#pragma once

#include <new>
#include <stdexcept>
#include <string>

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

struct JobError {
    std::string message; // printed as it is, line break included
};

[[noreturn]] void failJob(std::string message);

// Prints the message of a failure caught at the boundary; returns status 1.
int reportJobError(const JobError &error);
int reportOutOfMemory();

// Runs the job, turning a JobError or a failed allocation into its message
// on stdout and status 1.
template <typename Job> int runWithinErrorBoundary(Job &&job) {
    try {
        return job();
    } catch (const JobError &error) {
        return reportJobError(error);
    } catch (const std::bad_alloc &) {
        return reportOutOfMemory();
    } catch (const std::length_error &) { // a size no allocation can meet
        return reportOutOfMemory();
    }
}

#include "common/JobError.hpp"

#include <cstdio>

void failJob(std::string message) {
    throw JobError{std::move(message)};
}

int reportJobError(const JobError &error) {
    std::fputs(error.message.c_str(), stdout);
    return kExitFailure;
}

int reportOutOfMemory() {
    std::fputs("Error: Failed to allocate memory.\n", stdout);
    return kExitFailure;
}

// The two jobs a run can perform; each returns the exit status.
#pragma once

#include "cli/JobSettings.hpp"
#include "image/ImageLibrary.hpp"

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

int runPlainFileJob(JobSettings &settings);
int runImageJob(JobSettings &settings, const ImageLibrary &library);

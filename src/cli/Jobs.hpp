// The two jobs a run can perform; each returns the exit status or ends by a
// JobError (or std::bad_alloc), which the run's error boundary reports.
#pragma once

#include "cli/JobSettings.hpp"
#include "common/JobError.hpp"
#include "image/ImageLibrary.hpp"
#include "lzss/PatternOutput.hpp"

// `codec` holds -dict and -threshold as the run settled them.
int runPlainFileJob(const JobSettings &settings, CodecSettings codec);
int runImageJob(const JobSettings &settings, CodecSettings codec, const ImageLibrary &library);

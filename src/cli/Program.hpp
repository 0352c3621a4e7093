// One run of the program: start, options, dispatch to a job.
#pragma once

#include "image/ImageLibrary.hpp"

// Runs the whole program on an argument vector with an already bound image
// module (which may be empty); returns the exit status.
int runMorvik(int argc, const char *const *argv, const ImageLibrary &library);

// The versions of the libraries that write the outputs, as the libraries
// themselves report them at run time.
#pragma once

#include <string>

// "1.10.8": libhdf5's major, minor and release numbers (it writes MAT v7.3).
std::string hdf5Version();

// libsndfile's own version text, such as "libsndfile-1.2.0".
std::string sndfileVersion();

// The versions of the libraries that write the outputs, as the libraries
// themselves report them at run time.
#pragma once

#include <string>

// "1.5.23": libmatio's major, minor and release numbers.
std::string matioVersion();

// libsndfile's own version text, such as "libsndfile-1.2.0".
std::string sndfileVersion();

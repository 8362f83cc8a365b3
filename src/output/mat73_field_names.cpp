#include "output/mat73_field_names.h"

#include <algorithm>

std::string matFieldName(const char* name, MatVersion version) {
  std::string spelt(name);
  if (version == MatVersion::kMat73) std::replace(spelt.begin(), spelt.end(), '/', '_');
  return spelt;
}

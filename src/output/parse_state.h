// The output state of a run. (Being built: the channel records and writers
// fill this record in.)
#pragma once

#include "common/console.h"

struct ParseState {
  Console* console = nullptr;
};

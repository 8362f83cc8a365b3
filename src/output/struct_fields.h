// Top-level and statistics fields of the MAT-files: scalars, short rows of
// doubles and strings, each added to a struct of the file's layout under its
// name. Text is stored as MAT-file text (mat_text.h), with a warning naming
// the field when characters had to be replaced.
#pragma once

#include <string>

#include "common/console.h"
#include "output/mat_layout.h"

void addStringField(MatLayout& layout, int32_t parent, const char* name, const std::string& text,
                    Console& console);

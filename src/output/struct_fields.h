// Top-level and statistics fields of the MAT-files: scalars, short rows of
// doubles and strings, each added under its name with the field messages
// printed when a step fails. A failed field is left out and the run goes on.
#pragma once

#include <string>

#include "common/console.h"
#include "output/mat_array.h"

void addScalarField(MatArray& structure, const char* name, double value, Console& console);
// A 1 x count double row (count at least 1), e.g. a 1x2 first/last pair.
void addRowField(MatArray& structure, const char* name, const double* values, int count,
                 Console& console);
void addStringField(MatArray& structure, const char* name, const std::string& text,
                    Console& console);
// Adds name and moves value into it; the result of adding is not examined,
// as at closing, where every array already exists.
void addArrayField(MatArray& structure, const char* name, MatArray value);

#include "output/struct_fields.h"

#include <utility>

#include "output/mat_text.h"

namespace {

constexpr const char* kAddFieldFailed = "# ERROR: Unable to add field %s to struct\n";
constexpr const char* kCreateDoubleFailed = "# ERROR: Unable to create double for field %s\n";
constexpr const char* kPointerFailed = "# ERROR: Unable to retrieve pointer for field %s\n";
constexpr const char* kCreateStringFailed = "# ERROR: Unable to create string for field %s\n";
constexpr const char* kCharactersReplaced =
    "# WARNING: Field %s: %d character(s) stored as U+FFFD (not valid UTF-8, or beyond the Basic "
    "Multilingual Plane, which not every MAT-file reader loads)\n";

}  // namespace

void addRowField(MatArray& structure, const char* name, const double* values, int count,
                 Console& console) {
  if (structure.addField(name) < 0) {
    console.out(kAddFieldFailed, name);
    return;
  }
  MatArray row = MatArray::doubleMatrix(1, count);
  if (!row) {
    console.out(kCreateDoubleFailed, name);
    return;
  }
  double* elements = row.elements();
  if (!elements) {
    console.out(kPointerFailed, name);
    return;
  }
  for (int i = 0; i < count; ++i) elements[i] = values[i];
  structure.setField(name, std::move(row));
}

void addScalarField(MatArray& structure, const char* name, double value, Console& console) {
  addRowField(structure, name, &value, 1, console);
}

void addStringField(MatArray& structure, const char* name, const std::string& text,
                    Console& console) {
  if (structure.addField(name) < 0) {
    console.out(kAddFieldFailed, name);
    return;
  }
  const MatText converted = matText(text);
  if (converted.replaced > 0) console.out(kCharactersReplaced, name, converted.replaced);
  MatArray string = MatArray::string(converted.units);
  if (!string) {
    console.out(kCreateStringFailed, name);
    return;
  }
  structure.setField(name, std::move(string));
}

void addArrayField(MatArray& structure, const char* name, MatArray value) {
  structure.addField(name);
  structure.setField(name, std::move(value));
}

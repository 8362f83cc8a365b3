#include "output/struct_fields.h"

#include <utility>

#include "output/mat_text.h"

namespace {

constexpr const char* kCharactersReplaced =
    "# WARNING: Field %s: %d character(s) stored as U+FFFD (not valid UTF-8, or beyond the Basic "
    "Multilingual Plane, which not every MAT-file reader loads)\n";

}  // namespace

void addStringField(MatLayout& layout, int32_t parent, const char* name, const std::string& text,
                    Console& console) {
  MatText converted = matText(text);
  if (converted.replaced > 0) console.out(kCharactersReplaced, name, converted.replaced);
  layout.addText(parent, name, std::move(converted.units));
}

// Reads MAT-files back through libmatio's reader, independently of the
// writer's own records, for the output tests.
#pragma once

#include <matio.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace readback {

struct FreeVar {
  void operator()(matvar_t* var) const { Mat_VarFree(var); }
};
using Var = std::unique_ptr<matvar_t, FreeVar>;

// Loads the named variable of a MAT-file with all its data; throws when the
// file or the variable is missing.
inline Var load(const std::string& path, const char* name) {
  mat_t* mat = Mat_Open(path.c_str(), MAT_ACC_RDONLY);
  if (!mat) throw std::runtime_error("cannot open " + path);
  if (Mat_GetVersion(mat) != MAT_FT_MAT5) {
    Mat_Close(mat);
    throw std::runtime_error("not a version 5 MAT-file: " + path);
  }
  matvar_t* var = Mat_VarRead(mat, name);
  Mat_Close(mat);
  if (!var) throw std::runtime_error(std::string("no variable ") + name + " in " + path);
  return Var(var);
}

inline std::vector<std::string> fieldNames(const matvar_t* var) {
  std::vector<std::string> names;
  if (!var || var->class_type != MAT_C_STRUCT) return names;
  char* const* raw = Mat_VarGetStructFieldnames(var);
  for (unsigned i = 0; i < Mat_VarGetNumberOfFields(const_cast<matvar_t*>(var)); ++i) {
    names.emplace_back(raw[i]);
  }
  return names;
}

inline matvar_t* field(matvar_t* var, const std::string& name) {
  matvar_t* found = Mat_VarGetStructFieldByName(var, name.c_str(), 0);
  if (!found) throw std::runtime_error("no field " + name);
  return found;
}

struct Shape {
  size_t rows = 0;
  size_t columns = 0;
  bool operator==(const Shape&) const = default;
};

inline Shape shape(const matvar_t* var) { return {var->dims[0], var->dims[1]}; }

// The elements of a real double array, column after column.
inline std::vector<double> doubles(const matvar_t* var) {
  if (var->class_type != MAT_C_DOUBLE) throw std::runtime_error("not a double array");
  const size_t count = var->dims[0] * var->dims[1];
  const auto* data = static_cast<const double*>(var->data);
  return count ? std::vector<double>(data, data + count) : std::vector<double>();
}

inline double scalar(matvar_t* structure, const std::string& name) {
  const std::vector<double> values = doubles(field(structure, name));
  if (values.size() != 1) throw std::runtime_error(name + " is not a scalar");
  return values[0];
}

// A character array as UTF-8: 16-bit data as UTF-16 code units (surrogate
// pairs joined), 8-bit data byte for byte.
inline std::string text(const matvar_t* var) {
  if (var->class_type != MAT_C_CHAR) throw std::runtime_error("not a string");
  const size_t count = var->dims[0] * var->dims[1];
  std::string result;
  if (var->data_type != MAT_T_UINT16 && var->data_type != MAT_T_UTF16) {
    result.assign(static_cast<const char*>(var->data), count);
    return result;
  }
  const auto* units = static_cast<const uint16_t*>(var->data);
  for (size_t i = 0; i < count; ++i) {
    uint32_t code = units[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < count) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    if (code < 0x80) {
      result += static_cast<char>(code);
    } else if (code < 0x800) {
      result += static_cast<char>(0xC0 | (code >> 6));
      result += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      result += static_cast<char>(0xE0 | (code >> 12));
      result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      result += static_cast<char>(0xF0 | (code >> 18));
      result += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return result;
}

// The rows that a sparse logical column marks true, in stored order.
inline std::vector<uint32_t> trueRows(const matvar_t* var) {
  if (var->class_type != MAT_C_SPARSE || !var->isLogical) {
    throw std::runtime_error("not a sparse logical array");
  }
  const auto* sparse = static_cast<const mat_sparse_t*>(var->data);
  std::vector<uint32_t> rows;
  const uint32_t stored = sparse->jc[1];
  for (uint32_t k = 0; k < stored; ++k) {
    const bool set = var->data_type == MAT_T_DOUBLE ? static_cast<const double*>(sparse->data)[k] != 0
                                                    : static_cast<const uint8_t*>(sparse->data)[k] != 0;
    if (set) rows.push_back(sparse->ir[k]);
  }
  return rows;
}

}  // namespace readback

// Reading a MAT-file of either version back through libmatio, and comparing
// a MAT v5 variable with its MAT v7.3 twin, for the tests of the long-
// recording outputs.
#pragma once

#include <gtest/gtest.h>
#include <matio.h>

#include <string>
#include <vector>

#include "output/mat_read_back.h"

namespace readback {

struct Loaded {
  int version = 0;  // MAT_FT_MAT5 or MAT_FT_MAT73; 0 when the file cannot be read
  Var var;
};

inline Loaded loadAnyVersion(const std::string& path, const char* name) {
  Loaded loaded;
  mat_t* mat = Mat_Open(path.c_str(), MAT_ACC_RDONLY);
  if (!mat) return loaded;
  loaded.version = Mat_GetVersion(mat);
  loaded.var.reset(Mat_VarRead(mat, name));
  Mat_Close(mat);
  return loaded;
}

// Names as a v7.3 file spells them: "/" becomes "_".
inline std::vector<std::string> spelledForV73(std::vector<std::string> names) {
  for (std::string& name : names)
    for (char& c : name)
      if (c == '/') c = '_';
  return names;
}

// Compares a MAT v5 variable with its v7.3 twin: field names and order (with
// the v7.3 spelling), classes, shapes and contents, masks included.
inline void expectSameTree(const matvar_t* v5, const matvar_t* v73, const std::string& where) {
  SCOPED_TRACE(where);
  ASSERT_EQ(v5->class_type, v73->class_type);
  ASSERT_EQ(shape(v5), shape(v73));
  switch (v5->class_type) {
    case MAT_C_STRUCT: {
      const std::vector<std::string> names = fieldNames(v5);
      const std::vector<std::string> spelt = spelledForV73(names);
      ASSERT_EQ(fieldNames(v73), spelt);
      for (size_t i = 0; i < names.size(); ++i) {
        expectSameTree(field(const_cast<matvar_t*>(v5), names[i]),
                       field(const_cast<matvar_t*>(v73), spelt[i]), where + "." + names[i]);
      }
      break;
    }
    case MAT_C_DOUBLE:
      EXPECT_EQ(doubles(v5), doubles(v73));
      break;
    case MAT_C_CHAR:
      EXPECT_EQ(text(v5), text(v73));
      break;
    case MAT_C_SPARSE:
      EXPECT_EQ(v5->isLogical != 0, v73->isLogical != 0);
      EXPECT_EQ(trueRows(v5), trueRows(v73));
      break;
    default:
      ADD_FAILURE() << "unexpected class " << v5->class_type;
  }
}

}  // namespace readback

#include "output/mat_array.h"

#include <matio.h>

#include <cstdlib>
#include <cstring>

#include "output/mat_text.h"

namespace {

// Element buffers are allocated here and handed to libmatio as they are
// (MAT_F_DONT_COPY_DATA); clearing mem_conserve afterwards makes the variable
// their owner, so Mat_VarFree releases them with it.
matvar_t* adopt(matvar_t* var) {
  if (var) var->mem_conserve = 0;
  return var;
}

mat_sparse_t* sparseOf(matvar_t* var) {
  if (!var || var->class_type != MAT_C_SPARSE) return nullptr;
  return static_cast<mat_sparse_t*>(var->data);
}

}  // namespace

void MatArray::Release::operator()(matvar_t* var) const { Mat_VarFree(var); }

MatArray MatArray::doubleMatrix(int32_t rows, int32_t columns) {
  if (rows < 0 || columns < 0) return MatArray();
  size_t dims[2] = {static_cast<size_t>(rows), static_cast<size_t>(columns)};
  const size_t count = dims[0] * dims[1];
  if (count == 0) {
    return MatArray(Mat_VarCreate(nullptr, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, nullptr, 0));
  }
  // calloc: zero-filled, and untouched pages of a large array cost nothing
  // until they are written.
  void* elements = std::calloc(count, sizeof(double));
  if (!elements) return MatArray();
  matvar_t* var = Mat_VarCreate(nullptr, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, elements,
                                MAT_F_DONT_COPY_DATA);
  if (!var) {
    std::free(elements);
    return MatArray();
  }
  return MatArray(adopt(var));
}

MatArray MatArray::string(const std::u16string& units) {
  size_t dims[2] = {1, units.size()};
  // The units are copied into the variable.
  return MatArray(Mat_VarCreate(nullptr, MAT_C_CHAR, MAT_T_UTF16, 2, dims,
                                units.empty() ? nullptr : const_cast<char16_t*>(units.data()), 0));
}

MatArray MatArray::string(const std::string& utf8) { return string(matText(utf8).units); }

MatArray MatArray::structure() {
  size_t dims[2] = {1, 1};
  return MatArray(Mat_VarCreateStruct2(nullptr, 2, dims, nullptr));
}

MatArray MatArray::sparseLogicalColumn(int32_t rows, int32_t capacity) {
  if (rows < 0 || capacity < 1) return MatArray();
  auto* sparse = static_cast<mat_sparse_t*>(std::calloc(1, sizeof(mat_sparse_t)));
  if (!sparse) return MatArray();
  sparse->nzmax = static_cast<mat_uint32_t>(capacity);
  sparse->data = std::malloc(static_cast<size_t>(capacity));
  sparse->ir = static_cast<mat_uint32_t*>(std::malloc(sizeof(mat_uint32_t) * capacity));
  sparse->jc = static_cast<mat_uint32_t*>(std::calloc(2, sizeof(mat_uint32_t)));
  sparse->njc = 2;
  size_t dims[2] = {static_cast<size_t>(rows), 1};
  matvar_t* var = nullptr;
  if (sparse->data && sparse->ir && sparse->jc) {
    var = Mat_VarCreate(nullptr, MAT_C_SPARSE, MAT_T_UINT8, 2, dims, sparse,
                        MAT_F_LOGICAL | MAT_F_DONT_COPY_DATA);
  }
  if (!var) {
    std::free(sparse->data);
    std::free(sparse->ir);
    std::free(sparse->jc);
    std::free(sparse);
    return MatArray();
  }
  return MatArray(adopt(var));
}

int32_t MatArray::rows() const {
  return var_ && var_->rank >= 1 ? static_cast<int32_t>(var_->dims[0]) : 0;
}

int32_t MatArray::columns() const {
  return var_ && var_->rank >= 2 ? static_cast<int32_t>(var_->dims[1]) : 0;
}

double* MatArray::elements() const {
  if (!var_ || var_->class_type != MAT_C_DOUBLE) return nullptr;
  return static_cast<double*>(var_->data);
}

bool MatArray::setRows(int32_t rows) {
  if (!var_ || var_->class_type != MAT_C_DOUBLE || var_->rank != 2) return false;
  if (rows < 0 || static_cast<size_t>(rows) > var_->dims[0] || var_->dims[1] > 1) return false;
  var_->dims[0] = static_cast<size_t>(rows);
  var_->nbytes = var_->dims[0] * var_->dims[1] * sizeof(double);
  return true;
}

int MatArray::addField(const char* name) {
  if (!var_ || var_->class_type != MAT_C_STRUCT) return -1;
  if (Mat_VarAddStructField(var_.get(), name) != 0) return -1;
  return static_cast<int>(Mat_VarGetNumberOfFields(var_.get())) - 1;
}

bool MatArray::setField(const char* name, MatArray value) {
  if (!var_ || var_->class_type != MAT_C_STRUCT || !value) return false;
  // Only a field that exists takes the value; checked first because libmatio
  // does not report a missing name.
  const unsigned count = Mat_VarGetNumberOfFields(var_.get());
  char* const* names = Mat_VarGetStructFieldnames(var_.get());
  bool found = false;
  for (unsigned i = 0; i < count && !found; ++i) found = std::strcmp(names[i], name) == 0;
  if (!found) return false;
  matvar_t* previous = Mat_VarSetStructFieldByName(var_.get(), name, 0, value.var_.release());
  Mat_VarFree(previous);
  return true;
}

uint8_t* MatArray::sparseValues() const {
  mat_sparse_t* sparse = sparseOf(var_.get());
  return sparse ? static_cast<uint8_t*>(sparse->data) : nullptr;
}

uint32_t* MatArray::sparseRowIndices() const {
  mat_sparse_t* sparse = sparseOf(var_.get());
  return sparse ? sparse->ir : nullptr;
}

uint32_t* MatArray::sparseColumnStarts() const {
  mat_sparse_t* sparse = sparseOf(var_.get());
  return sparse ? sparse->jc : nullptr;
}

SparseGrowth MatArray::growSparse(int32_t capacity) {
  mat_sparse_t* sparse = sparseOf(var_.get());
  if (!sparse || capacity < 1) return SparseGrowth::kValuesFailed;
  void* values = std::realloc(sparse->data, static_cast<size_t>(capacity));
  if (!values) return SparseGrowth::kValuesFailed;
  sparse->data = values;
  auto* rowIndices = static_cast<mat_uint32_t*>(
      std::realloc(sparse->ir, sizeof(mat_uint32_t) * static_cast<size_t>(capacity)));
  if (!rowIndices) return SparseGrowth::kRowIndicesFailed;
  sparse->ir = rowIndices;
  sparse->nzmax = static_cast<mat_uint32_t>(capacity);
  return SparseGrowth::kDone;
}

void MatArray::setSparseEntries(int32_t entries) {
  mat_sparse_t* sparse = sparseOf(var_.get());
  if (!sparse) return;
  const auto count = static_cast<mat_uint32_t>(entries);
  sparse->jc[0] = 0;
  sparse->jc[1] = count;
  sparse->nir = count;
  sparse->ndata = count;
}

void MatArray::fitSparseCapacity() {
  mat_sparse_t* sparse = sparseOf(var_.get());
  if (!sparse) return;
  sparse->nzmax = sparse->nir > 0 ? sparse->nir : 1;
}

#include "output/mat73_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "output/mat_header.h"

namespace {

constexpr hsize_t kUserBlockBytes = 512;
// The largest chunk of a mask's datasets, in entries.
constexpr int64_t kMaskChunkEntries = 65536;
// Rows copied at a time when an array shrinks.
constexpr hsize_t kCopyRows = 65536;

// The system's reason for a failed HDF5 call where it left one.
bool failed(OutputFile& file) {
  file.fail(errno != 0 ? errno : EIO);
  return false;
}

// A scoped HDF5 identifier, closed by its kind's close function.
class Handle {
 public:
  using Close = herr_t (*)(hid_t);
  Handle(hid_t id, Close close) : id_(id), close_(close) {}
  ~Handle() {
    if (id_ >= 0) close_(id_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  hid_t get() const { return id_; }
  bool ok() const { return id_ >= 0; }

 private:
  hid_t id_;
  Close close_;
};

bool attributeOf(hid_t object, const char* name, hid_t type, const void* value) {
  Handle space(H5Screate(H5S_SCALAR), H5Sclose);
  if (!space.ok()) return false;
  Handle attribute(H5Acreate2(object, name, type, space.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
  return attribute.ok() && H5Awrite(attribute.get(), type, value) >= 0;
}

// MATLAB_class: a fixed-length ASCII string of the class name.
bool classOf(hid_t object, const char* matlabClass) {
  Handle type(H5Tcopy(H5T_C_S1), H5Tclose);
  if (!type.ok() || H5Tset_size(type.get(), std::strlen(matlabClass)) < 0) return false;
  return attributeOf(object, "MATLAB_class", type.get(), matlabClass);
}

bool int32Attribute(hid_t object, const char* name, int32_t value) {
  return attributeOf(object, name, H5T_STD_I32LE, &value);
}

// MATLAB_fields: one variable-length string of characters per field.
bool fieldsOf(hid_t group, const MatLayout& layout, const MatNode& node) {
  std::vector<hvl_t> names;
  for (int32_t field : node.fields) {
    const std::string& name = layout.node(field).name;
    names.push_back(hvl_t{name.size(), const_cast<char*>(name.data())});
  }
  Handle character(H5Tcopy(H5T_C_S1), H5Tclose);
  if (!character.ok()) return false;
  Handle type(H5Tvlen_create(character.get()), H5Tclose);
  const hsize_t count = names.size();
  Handle space(H5Screate_simple(1, &count, nullptr), H5Sclose);
  if (!type.ok() || !space.ok()) return false;
  Handle attribute(H5Acreate2(group, "MATLAB_fields", type.get(), space.get(), H5P_DEFAULT, H5P_DEFAULT),
                   H5Aclose);
  return attribute.ok() &&
         (names.empty() || H5Awrite(attribute.get(), type.get(), names.data()) >= 0);
}

// A dataset of type with MATLAB's dimensions reversed, holding data.
bool writeDataset(hid_t parent, const std::string& name, hid_t fileType, hid_t memoryType,
                  int64_t rows, int64_t columns, const void* data, const char* matlabClass,
                  int32_t intDecode) {
  const hsize_t dims[2] = {static_cast<hsize_t>(columns), static_cast<hsize_t>(rows)};
  Handle space(H5Screate_simple(2, dims, nullptr), H5Sclose);
  if (!space.ok()) return false;
  Handle set(H5Dcreate2(parent, name.c_str(), fileType, space.get(), H5P_DEFAULT, H5P_DEFAULT,
                        H5P_DEFAULT),
             H5Dclose);
  if (!set.ok() || !classOf(set.get(), matlabClass)) return false;
  if (intDecode > 0 && !int32Attribute(set.get(), "MATLAB_int_decode", intDecode)) return false;
  return H5Dwrite(set.get(), memoryType, H5S_ALL, H5S_ALL, H5P_DEFAULT, data) >= 0;
}

// An array without elements: its dimensions, in MATLAB's order, as data.
bool writeEmpty(hid_t parent, const std::string& name, int64_t rows, int64_t columns,
                const char* matlabClass) {
  const uint64_t dims[2] = {static_cast<uint64_t>(rows), static_cast<uint64_t>(columns)};
  const hsize_t count = 2;
  Handle space(H5Screate_simple(1, &count, nullptr), H5Sclose);
  if (!space.ok()) return false;
  Handle set(H5Dcreate2(parent, name.c_str(), H5T_STD_U64LE, space.get(), H5P_DEFAULT, H5P_DEFAULT,
                        H5P_DEFAULT),
             H5Dclose);
  const uint32_t empty = 1;
  return set.ok() && H5Dwrite(set.get(), H5T_NATIVE_UINT64, H5S_ALL, H5S_ALL, H5P_DEFAULT, dims) >= 0 &&
         classOf(set.get(), matlabClass) &&
         attributeOf(set.get(), "MATLAB_empty", H5T_STD_U32LE, &empty);
}

hid_t createColumns(hid_t parent, const std::string& name, int64_t rows, int64_t columns) {
  const hsize_t dims[2] = {static_cast<hsize_t>(columns), static_cast<hsize_t>(rows)};
  Handle space(H5Screate_simple(2, dims, nullptr), H5Sclose);
  if (!space.ok()) return H5I_INVALID_HID;
  const hid_t set = H5Dcreate2(parent, name.c_str(), H5T_IEEE_F64LE, space.get(), H5P_DEFAULT,
                               H5P_DEFAULT, H5P_DEFAULT);
  if (set >= 0 && !classOf(set, "double")) {
    H5Dclose(set);
    return H5I_INVALID_HID;
  }
  return set;
}

// Writes count elements from offset of a one- or two-dimensional dataset:
// of row `row` when the dataset has two dimensions.
bool writeSlab(hid_t set, hid_t memoryType, int rank, hsize_t row, hsize_t offset, hsize_t count,
               const void* data) {
  Handle space(H5Dget_space(set), H5Sclose);
  if (!space.ok()) return false;
  const hsize_t start[2] = {row, offset};
  const hsize_t counts[2] = {1, count};
  const hsize_t* at = rank == 2 ? start : start + 1;
  const hsize_t* size = rank == 2 ? counts : counts + 1;
  if (H5Sselect_hyperslab(space.get(), H5S_SELECT_SET, at, nullptr, size, nullptr) < 0) return false;
  Handle memory(H5Screate_simple(1, &count, nullptr), H5Sclose);
  return memory.ok() && H5Dwrite(set, memoryType, memory.get(), space.get(), H5P_DEFAULT, data) >= 0;
}

bool readSlab(hid_t set, hsize_t row, hsize_t offset, hsize_t count, double* data) {
  Handle space(H5Dget_space(set), H5Sclose);
  if (!space.ok()) return false;
  const hsize_t start[2] = {row, offset};
  const hsize_t counts[2] = {1, count};
  if (H5Sselect_hyperslab(space.get(), H5S_SELECT_SET, start, nullptr, counts, nullptr) < 0) return false;
  Handle memory(H5Screate_simple(1, &count, nullptr), H5Sclose);
  return memory.ok() && H5Dread(set, H5T_NATIVE_DOUBLE, memory.get(), space.get(), H5P_DEFAULT, data) >= 0;
}

hid_t createGrowing(hid_t group, const char* name, hid_t type, int64_t chunk) {
  const hsize_t none = 0;
  const hsize_t unlimited = H5S_UNLIMITED;
  Handle space(H5Screate_simple(1, &none, &unlimited), H5Sclose);
  Handle properties(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
  const auto chunkDims = static_cast<hsize_t>(chunk);
  if (!space.ok() || !properties.ok() || H5Pset_chunk(properties.get(), 1, &chunkDims) < 0) {
    return H5I_INVALID_HID;
  }
  return H5Dcreate2(group, name, type, space.get(), H5P_DEFAULT, properties.get(), H5P_DEFAULT);
}

}  // namespace

Mat73Writer::~Mat73Writer() { closeAll(); }

bool Mat73Writer::closeAll() {
  bool closed = true;
  for (Object& object : objects_) {
    for (hid_t* id : {&object.rows, &object.values}) {
      if (*id >= 0) closed = H5Dclose(std::exchange(*id, H5I_INVALID_HID)) >= 0 && closed;
    }
    if (object.id >= 0) closed = H5Oclose(std::exchange(object.id, H5I_INVALID_HID)) >= 0 && closed;
  }
  if (file_ >= 0) closed = H5Fclose(std::exchange(file_, H5I_INVALID_HID)) >= 0 && closed;
  return closed;
}

bool Mat73Writer::begin(OutputFile& file, const MatLayout& layout) {
  // The run ends through its own cleanup: HDF5's at exit would close again
  // what failed to close on a full disk, and crash. Asked before HDF5 starts.
  H5dont_atexit();
  // Failures are reported through the file, not printed by HDF5.
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  objects_.assign(layout.size(), Object{});
  errno = 0;
  Handle properties(H5Pcreate(H5P_FILE_CREATE), H5Pclose);
  if (!properties.ok() || H5Pset_userblock(properties.get(), kUserBlockBytes) < 0) return failed(file);
  file_ = H5Fcreate(file.temporaryPath().c_str(), H5F_ACC_TRUNC, properties.get(), H5P_DEFAULT);
  if (file_ < 0) return failed(file);
  return create(file, layout, layout.root(), file_) || failed(file);
}

bool Mat73Writer::create(OutputFile& file, const MatLayout& layout, int32_t index, hid_t parent) {
  const MatNode& node = layout.node(index);
  Object& object = objects_[static_cast<size_t>(index)];
  if (node.kind == MatNodeKind::kStruct || node.kind == MatNodeKind::kMask) {
    object.id = H5Gcreate2(parent, node.name.c_str(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    if (object.id < 0) return false;
    if (node.kind == MatNodeKind::kMask) {
      const auto rows = static_cast<uint64_t>(node.rows);
      object.chunk = std::clamp<int64_t>(node.entries, 1, kMaskChunkEntries);
      return classOf(object.id, "logical") && int32Attribute(object.id, "MATLAB_int_decode", 1) &&
             attributeOf(object.id, "MATLAB_sparse", H5T_STD_U64LE, &rows);
    }
    if (!classOf(object.id, "struct") || !fieldsOf(object.id, layout, node)) return false;
    for (int32_t field : node.fields) {
      if (!create(file, layout, field, object.id)) return false;
    }
    return true;
  }
  if (node.kind == MatNodeKind::kDouble && node.streamed && node.rows * node.columns > 0) {
    object.id = createColumns(parent, node.name, node.rows, node.columns);
    object.createdRows = node.rows;
    return object.id >= 0;
  }
  return true;  // written whole at the end
}

void Mat73Writer::writeColumn(OutputFile& file, int32_t node, int32_t column, int64_t firstRow,
                              const double* values, size_t count) {
  const Object& object = objects_[static_cast<size_t>(node)];
  if (object.id < 0 || firstRow + static_cast<int64_t>(count) > object.createdRows) return;
  errno = 0;
  if (!writeSlab(object.id, H5T_NATIVE_DOUBLE, 2, static_cast<hsize_t>(column),
                 static_cast<hsize_t>(firstRow), count, values)) {
    failed(file);
  }
}

bool Mat73Writer::growMask(OutputFile& file, Object& mask, hid_t group, int64_t entries) {
  if (mask.rows < 0) {
    mask.values = createGrowing(group, "data", H5T_STD_U8LE, mask.chunk);
    mask.rows = createGrowing(group, "ir", H5T_STD_U64LE, mask.chunk);
    if (mask.values < 0 || mask.rows < 0) return failed(file);
  }
  const auto size = static_cast<hsize_t>(entries);
  if (H5Dset_extent(mask.values, &size) < 0 || H5Dset_extent(mask.rows, &size) < 0) return failed(file);
  return true;
}

void Mat73Writer::writeMaskRows(OutputFile& file, int32_t node, int64_t firstEntry,
                                const uint32_t* rows, size_t count) {
  Object& mask = objects_[static_cast<size_t>(node)];
  errno = 0;
  if (!growMask(file, mask, mask.id, firstEntry + static_cast<int64_t>(count))) return;
  if (ones_.size() < count) ones_.assign(count, 1);
  if (!writeSlab(mask.values, H5T_NATIVE_UINT8, 1, 0, static_cast<hsize_t>(firstEntry), count, ones_.data()) ||
      !writeSlab(mask.rows, H5T_NATIVE_UINT32, 1, 0, static_cast<hsize_t>(firstEntry), count, rows)) {
    failed(file);
    return;
  }
  mask.entries = std::max(mask.entries, firstEntry + static_cast<int64_t>(count));
}

bool Mat73Writer::finish(OutputFile& file, const MatLayout& layout, int32_t index, hid_t parent) {
  const MatNode& node = layout.node(index);
  Object& object = objects_[static_cast<size_t>(index)];
  switch (node.kind) {
    case MatNodeKind::kStruct:
      for (int32_t field : node.fields) {
        if (!finish(file, layout, field, object.id)) return false;
      }
      return true;
    case MatNodeKind::kText:
      if (node.text.empty()) return writeEmpty(parent, node.name, 0, 0, "char");
      return writeDataset(parent, node.name, H5T_STD_U16LE, H5T_NATIVE_UINT16, 1,
                          static_cast<int64_t>(node.text.size()), node.text.data(), "char", 2);
    case MatNodeKind::kMask: {
      // The entries beyond the final count (the write pass found fewer) go.
      if (object.rows >= 0 && node.entries < object.entries && !growMask(file, object, object.id, node.entries)) {
        return false;
      }
      const uint64_t starts[2] = {0, static_cast<uint64_t>(node.entries)};
      const hsize_t count = 2;
      Handle space(H5Screate_simple(1, &count, nullptr), H5Sclose);
      Handle set(H5Dcreate2(object.id, "jc", H5T_STD_U64LE, space.get(), H5P_DEFAULT, H5P_DEFAULT,
                            H5P_DEFAULT),
                 H5Dclose);
      return set.ok() && H5Dwrite(set.get(), H5T_NATIVE_UINT64, H5S_ALL, H5S_ALL, H5P_DEFAULT, starts) >= 0;
    }
    case MatNodeKind::kDouble:
      break;
  }
  if (node.rows * node.columns == 0) {
    if (object.id >= 0) {
      H5Dclose(std::exchange(object.id, H5I_INVALID_HID));
      if (H5Ldelete(parent, node.name.c_str(), H5P_DEFAULT) < 0) return false;
    }
    return writeEmpty(parent, node.name, node.rows, node.columns, "double");
  }
  if (!node.streamed) {
    return writeDataset(parent, node.name, H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, node.rows, node.columns,
                        node.values.data(), "double", 0);
  }
  if (node.rows >= object.createdRows) return true;
  // Fewer rows than created: copied into a dataset of the final size, which
  // then takes the name (the struct's field order is MATLAB_fields').
  const std::string resized = node.name + ".resized";
  Handle set(createColumns(parent, resized, node.rows, node.columns), H5Dclose);
  if (!set.ok()) return false;
  std::vector<double> block(static_cast<size_t>(std::min<hsize_t>(kCopyRows, static_cast<hsize_t>(node.rows))));
  for (int32_t c = 0; c < node.columns; ++c) {
    for (hsize_t at = 0; at < static_cast<hsize_t>(node.rows); at += block.size()) {
      const hsize_t n = std::min<hsize_t>(block.size(), static_cast<hsize_t>(node.rows) - at);
      if (!readSlab(object.id, static_cast<hsize_t>(c), at, n, block.data()) ||
          !writeSlab(set.get(), H5T_NATIVE_DOUBLE, 2, static_cast<hsize_t>(c), at, n, block.data())) {
        return false;
      }
    }
  }
  H5Dclose(std::exchange(object.id, H5I_INVALID_HID));
  return H5Ldelete(parent, node.name.c_str(), H5P_DEFAULT) >= 0 &&
         H5Lmove(parent, resized.c_str(), parent, node.name.c_str(), H5P_DEFAULT, H5P_DEFAULT) >= 0;
}

void Mat73Writer::end(OutputFile& file, const MatLayout& layout) {
  errno = 0;
  if (!finish(file, layout, layout.root(), file_)) {
    failed(file);
    closeAll();
    return;
  }
  errno = 0;
  const bool closed = closeAll();
  if (!closed) {
    failed(file);
    return;
  }
  const std::string header = matFileHeader(MatVersion::kMat73);
  if (pwrite(file.descriptor(), header.data(), header.size(), 0) != static_cast<ssize_t>(header.size())) {
    failed(file);
  }
}

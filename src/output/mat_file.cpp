#include "output/mat_file.h"

#include <matio.h>

#include <cstdlib>
#include <cstring>
#include <utility>

MatFile::~MatFile() { close(); }

MatFile::MatFile(MatFile&& other) noexcept
    : mat_(std::exchange(other.mat_, nullptr)),
      writeFailed_(other.writeFailed_),
      version_(other.version_) {}

MatFile& MatFile::operator=(MatFile&& other) noexcept {
  if (this != &other) {
    close();
    mat_ = std::exchange(other.mat_, nullptr);
    writeFailed_ = other.writeFailed_;
    version_ = other.version_;
  }
  return *this;
}

bool MatFile::open(const std::string& path, MatVersion version) {
  close();
  writeFailed_ = false;
  version_ = version;
  mat_ = Mat_CreateVer(path.c_str(), nullptr,
                       version == MatVersion::kMat73 ? MAT_FT_MAT73 : MAT_FT_MAT5);
  return mat_ != nullptr;
}

void MatFile::putVariable(const char* name, MatArray value) {
  matvar_t* var = value.get();
  if (!mat_ || !var) {
    writeFailed_ = true;
    return;
  }
  std::free(var->name);
  var->name = strdup(name);
  if (!var->name || Mat_VarWrite(mat_, var, MAT_COMPRESSION_NONE) != 0) writeFailed_ = true;
}

int MatFile::close() {
  if (!mat_) return 0;
  const int closed = Mat_Close(std::exchange(mat_, nullptr));
  return closed != 0 || writeFailed_ ? 1 : 0;
}

// Test helper: copies every variable of a MAT-file into a new MAT-file of
// version 7.3 (HDF5), through libmatio, so that the Python loader can be
// checked on the HDF5 form of the converter's files.
// Usage: mat73_copy IN.mat OUT.mat; exit status 0, or 1 with a message.
#include <matio.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: mat73_copy IN.mat OUT.mat\n");
    return 1;
  }
  mat_t* in = Mat_Open(argv[1], MAT_ACC_RDONLY);
  if (in == nullptr) {
    std::fprintf(stderr, "mat73_copy: cannot open %s\n", argv[1]);
    return 1;
  }
  mat_t* out = Mat_CreateVer(argv[2], nullptr, MAT_FT_MAT73);
  if (out == nullptr) {
    std::fprintf(stderr, "mat73_copy: cannot create %s as MAT 7.3 (libmatio without HDF5?)\n", argv[2]);
    Mat_Close(in);
    return 1;
  }
  int status = 0;
  int copied = 0;
  while (matvar_t* var = Mat_VarReadNext(in)) {
    if (Mat_VarWrite(out, var, MAT_COMPRESSION_NONE) != 0) {
      std::fprintf(stderr, "mat73_copy: cannot write variable %s\n", var->name);
      status = 1;
    }
    Mat_VarFree(var);
    ++copied;
  }
  if (copied == 0) {
    std::fprintf(stderr, "mat73_copy: no variable in %s\n", argv[1]);
    status = 1;
  }
  Mat_Close(in);
  if (Mat_Close(out) != 0) {
    std::fprintf(stderr, "mat73_copy: error closing %s\n", argv[2]);
    status = 1;
  }
  return status;
}

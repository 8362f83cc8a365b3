// Helpers shared by the input tests.
#pragma once

#include <cstdio>
#include <string>

#include "pelg_builder/pelg_builder.h"
#include "support/test_support.h"

namespace inputtest {

using pelgbuild::Bytes;

// `bytes` opened for reading: a file in a fresh directory (its size known to
// the reader), or a memory stream whose size the reader cannot learn, like a pipe.
class ByteStream {
 public:
  explicit ByteStream(const Bytes& bytes, bool regularFile = true) : bytes_(bytes) {
    if (regularFile) {
      testsupport::writeFile(path(), std::string(bytes.begin(), bytes.end()));
      stream_ = std::fopen(path().c_str(), "rb");
    } else {
      if (bytes_.empty()) bytes_.push_back(0);  // fmemopen needs a buffer; size 0 below
      stream_ = fmemopen(bytes_.data(), bytes.size(), "rb");
    }
  }
  explicit ByteStream(const std::string& text) : ByteStream(Bytes(text.begin(), text.end())) {}
  ~ByteStream() {
    if (stream_) std::fclose(stream_);
  }
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;

  FILE* get() const { return stream_; }
  long tell() const { return std::ftell(stream_); }
  std::string path() const { return dir.file("stream.bin"); }

  testsupport::TempDir dir;

 private:
  Bytes bytes_;
  FILE* stream_ = nullptr;
};

}  // namespace inputtest

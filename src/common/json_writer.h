// A small writer of JSON text into a string: objects, arrays, keys and
// values, with the commas and a two-space indentation put in for the caller.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(out) {}

  void beginObject() { open('{'); }
  void endObject() { close('}'); }
  void beginArray() { open('['); }
  void endArray() { close(']'); }
  void key(const std::string& name);

  void value(const std::string& text);
  void value(const char* text) { value(std::string(text)); }
  void value(int64_t number);
  void value(int32_t number) { value(static_cast<int64_t>(number)); }
  void value(uint64_t number);
  void value(double number);  // integral values keep no fraction; not finite gives null
  void value(bool flag);
  void null();

  // JSON text of a string, with its quotes.
  static std::string quoted(const std::string& text);

 private:
  void open(char bracket);
  void close(char bracket);
  void beforeValue();
  void newline();

  std::string& out_;
  std::vector<bool> hasItems_;  // one entry per open object or array
  bool afterKey_ = false;
};

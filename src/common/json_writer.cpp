#include "common/json_writer.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

void JsonWriter::newline() {
  out_ += '\n';
  out_.append(2 * hasItems_.size(), ' ');
}

void JsonWriter::beforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (hasItems_.empty()) return;
  if (hasItems_.back()) out_ += ',';
  hasItems_.back() = true;
  newline();
}

void JsonWriter::open(char bracket) {
  beforeValue();
  out_ += bracket;
  hasItems_.push_back(false);
}

void JsonWriter::close(char bracket) {
  const bool hadItems = hasItems_.back();
  hasItems_.pop_back();
  if (hadItems) newline();
  out_ += bracket;
  if (hasItems_.empty()) out_ += '\n';
}

void JsonWriter::key(const std::string& name) {
  beforeValue();
  out_ += quoted(name);
  out_ += ": ";
  afterKey_ = true;
}

std::string JsonWriter::quoted(const std::string& text) {
  std::string q = "\"";
  for (const unsigned char c : text) {
    switch (c) {
      case '"': q += "\\\""; break;
      case '\\': q += "\\\\"; break;
      case '\n': q += "\\n"; break;
      case '\r': q += "\\r"; break;
      case '\t': q += "\\t"; break;
      default:
        if (c < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          q += escape;
        } else {
          q += static_cast<char>(c);
        }
    }
  }
  q += '"';
  return q;
}

void JsonWriter::value(const std::string& text) {
  beforeValue();
  out_ += quoted(text);
}

void JsonWriter::value(int64_t number) {
  beforeValue();
  char text[32];
  std::snprintf(text, sizeof text, "%" PRId64, number);
  out_ += text;
}

void JsonWriter::value(uint64_t number) {
  beforeValue();
  char text[32];
  std::snprintf(text, sizeof text, "%" PRIu64, number);
  out_ += text;
}

void JsonWriter::value(double number) {
  if (!std::isfinite(number)) {
    null();
    return;
  }
  beforeValue();
  char text[40];
  if (number == std::floor(number) && std::fabs(number) < 1e15)
    std::snprintf(text, sizeof text, "%.0f", number);
  else
    std::snprintf(text, sizeof text, "%.12g", number);
  out_ += text;
}

void JsonWriter::value(bool flag) {
  beforeValue();
  out_ += flag ? "true" : "false";
}

void JsonWriter::null() {
  beforeValue();
  out_ += "null";
}

#include "cli/Json.h"

#include <cstdio>

namespace tsv::cli {

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (u < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", u);
      out += esc;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

JsonObject& JsonObject::Raw(std::string_view key, const std::string& value) {
  if (!body_.empty()) body_ += ", ";
  body_ += JsonString(key) + ": " + value;
  return *this;
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view text) { return Raw(key, JsonString(text)); }
JsonObject& JsonObject::Add(std::string_view key, uint64_t number) { return Raw(key, std::to_string(number)); }
JsonObject& JsonObject::Add(std::string_view key, bool flag) { return Raw(key, flag ? "true" : "false"); }
JsonObject& JsonObject::AddNull(std::string_view key) { return Raw(key, "null"); }

}  // namespace tsv::cli

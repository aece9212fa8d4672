// A small JSON writer for the command-line tool's machine-readable output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tsv::cli {

std::string JsonString(std::string_view text);

// Builds one JSON object, key by key, in insertion order.
class JsonObject {
 public:
  JsonObject& Add(std::string_view key, std::string_view text);
  JsonObject& Add(std::string_view key, const char* text) { return Add(key, std::string_view(text)); }
  JsonObject& Add(std::string_view key, uint64_t number);
  JsonObject& Add(std::string_view key, bool flag);
  JsonObject& AddNull(std::string_view key);
  std::string str() const { return "{" + body_ + "}"; }

 private:
  JsonObject& Raw(std::string_view key, const std::string& value);
  std::string body_;
};

}  // namespace tsv::cli

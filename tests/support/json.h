// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small JSON reader for tests that parse a program's JSON output back: objects (members kept
// in order), arrays, strings (escapes and \u sequences, surrogate pairs included), numbers,
// true, false and null. Anything else, or text after the value, is no JSON.

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sd::test {

struct Json {
  enum class Type { Null, Bool, Number, String, Array, Object };
  Type type = Type::Null;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<Json> array;
  std::vector<std::pair<std::string, Json>> object;

  const Json* Find(std::string_view key) const {
    for (const auto& [k, v] : object) {
      if (k == key) return &v;
    }
    return nullptr;
  }
  // The string member `key`, or "<missing>" when there is none.
  std::string Text(std::string_view key) const {
    const Json* v = Find(key);
    return v && v->type == Type::String ? v->string : "<missing>";
  }
  std::vector<std::string> Keys() const {
    std::vector<std::string> keys;
    for (const auto& member : object) keys.push_back(member.first);
    return keys;
  }
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  std::optional<Json> ReadDocument() {
    auto value = ReadValue();
    SkipBlanks();
    if (!value || pos_ != text_.size()) return std::nullopt;
    return value;
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r')) ++pos_;
  }
  bool Take(char c) {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool TakeWord(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  std::optional<Json> ReadValue() {
    if (++depth_ > 64) return std::nullopt;
    SkipBlanks();
    if (pos_ >= text_.size()) return std::nullopt;
    Json v;
    const char c = text_[pos_];
    if (c == '{') {
      ++pos_;
      v.type = Json::Type::Object;
      if (!Take('}')) {
        do {
          SkipBlanks();
          auto key = ReadString();
          if (!key || !Take(':')) return std::nullopt;
          auto member = ReadValue();
          if (!member) return std::nullopt;
          v.object.emplace_back(std::move(*key), std::move(*member));
        } while (Take(','));
        if (!Take('}')) return std::nullopt;
      }
    } else if (c == '[') {
      ++pos_;
      v.type = Json::Type::Array;
      if (!Take(']')) {
        do {
          auto element = ReadValue();
          if (!element) return std::nullopt;
          v.array.push_back(std::move(*element));
        } while (Take(','));
        if (!Take(']')) return std::nullopt;
      }
    } else if (c == '"') {
      auto s = ReadString();
      if (!s) return std::nullopt;
      v.type = Json::Type::String;
      v.string = std::move(*s);
    } else if (TakeWord("true")) {
      v.type = Json::Type::Bool;
      v.boolean = true;
    } else if (TakeWord("false")) {
      v.type = Json::Type::Bool;
    } else if (TakeWord("null")) {
      v.type = Json::Type::Null;
    } else {
      const std::size_t start = pos_;
      while (pos_ < text_.size() && std::string_view("+-.eE0123456789").find(text_[pos_]) != std::string_view::npos) ++pos_;
      if (pos_ == start) return std::nullopt;
      const std::string number(text_.substr(start, pos_ - start));
      char* end = nullptr;
      v.type = Json::Type::Number;
      v.number = std::strtod(number.c_str(), &end);
      if (end != number.c_str() + number.size()) return std::nullopt;
    }
    --depth_;
    return v;
  }

  std::optional<std::uint32_t> ReadHex4() {
    if (pos_ + 4 > text_.size()) return std::nullopt;
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = text_[pos_++];
      value <<= 4;
      if (h >= '0' && h <= '9') value |= static_cast<std::uint32_t>(h - '0');
      else if (h >= 'a' && h <= 'f') value |= static_cast<std::uint32_t>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F') value |= static_cast<std::uint32_t>(h - 'A' + 10);
      else return std::nullopt;
    }
    return value;
  }

  static void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  std::optional<std::string> ReadString() {
    if (pos_ >= text_.size() || text_[pos_] != '"') return std::nullopt;
    ++pos_;
    std::string out;
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) return std::nullopt;
      const char e = text_[pos_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          auto cp = ReadHex4();
          if (!cp) return std::nullopt;
          if (*cp >= 0xD800 && *cp <= 0xDBFF) {
            if (!TakeWord("\\u")) return std::nullopt;
            const auto low = ReadHex4();
            if (!low || *low < 0xDC00 || *low > 0xDFFF) return std::nullopt;
            *cp = 0x10000 + ((*cp - 0xD800) << 10) + (*low - 0xDC00);
          } else if (*cp >= 0xDC00 && *cp <= 0xDFFF) {
            return std::nullopt;
          }
          AppendUtf8(out, *cp);
          break;
        }
        default: return std::nullopt;
      }
    }
    return std::nullopt;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  int depth_ = 0;
};

inline std::optional<Json> ParseJson(std::string_view text) { return JsonReader(text).ReadDocument(); }

}  // namespace sd::test

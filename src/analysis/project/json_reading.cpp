#include "analysis/project/json_reading.hpp"

#include <exception>
#include <iterator>
#include <new>
#include <unordered_set>
#include <utility>
#include <vector>

namespace pellucor::analysis::project {

namespace {

// The library's message without its own prefix and position: "[json.exception.parse_error.101]
// parse error at line 1, column 5: syntax error while parsing value - invalid literal; last
// read: 'x'" gives "syntax error while parsing value - invalid literal; last read: 'x'".
std::string reason_of(const std::string& what) {
  std::string r = what;
  if (const auto bracket = r.find("] ");
      r.starts_with("[json.exception.") && bracket != std::string::npos) {
    r.erase(0, bracket + 2);
  }
  if (r.starts_with("parse error")) {
    if (const auto colon = r.find(": "); colon != std::string::npos) r.erase(0, colon + 2);
  }
  // A quoted token may hold anything the file holds: at most a few characters of it.
  return clipped(r, 120);
}

// A pointer into the bytes that keeps the furthest place the parser has read to, so that a fault
// the events find (a bound, a key given twice) can be placed in the file.
class CountingIterator {
 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  CountingIterator() = default;
  CountingIterator(const char* p, const char** reached) : p_(p), reached_(reached) {}
  reference operator*() const { return *p_; }
  CountingIterator& operator++() {
    ++p_;
    if (reached_ != nullptr && p_ > *reached_) *reached_ = p_;
    return *this;
  }
  CountingIterator operator++(int) {
    CountingIterator before = *this;
    ++*this;
    return before;
  }
  bool operator==(const CountingIterator& o) const { return p_ == o.p_; }
  bool operator!=(const CountingIterator& o) const { return p_ != o.p_; }

 private:
  const char* p_ = nullptr;
  const char** reached_ = nullptr;
};

class DocumentBuilder {
 public:
  using number_integer_t = Json::number_integer_t;
  using number_unsigned_t = Json::number_unsigned_t;
  using number_float_t = Json::number_float_t;
  using string_t = Json::string_t;
  using binary_t = Json::binary_t;

  DocumentBuilder(std::string_view bytes, const JsonBounds& bounds,
                  const std::optional<StreamedList>& streamed, const char* const* reached)
      : bytes_(bytes), bounds_(bounds), streamed_(streamed), reached_(reached) {}

  bool null() { return scalar(Json(nullptr)); }
  bool boolean(bool v) { return scalar(Json(v)); }
  bool number_integer(number_integer_t v) { return scalar(Json(v)); }
  bool number_unsigned(number_unsigned_t v) { return scalar(Json(v)); }
  bool number_float(number_float_t v, const string_t&) { return scalar(Json(v)); }
  bool string(string_t& v) {
    if (v.size() > bounds_.textBytes) {
      return refuse("文本长 " + std::to_string(v.size()) + " 字节，超过上限 " +
                        std::to_string(bounds_.textBytes) + " 字节。",
                    "a text of " + std::to_string(v.size()) + " bytes, more than the " +
                        std::to_string(bounds_.textBytes) + " a text may hold");
    }
    return scalar(Json(std::move(v)));
  }
  bool binary(binary_t&) { return refuse("含有二进制数据。", "binary data"); }

  bool start_object(std::size_t) {
    Json* slot = place(Json::object());
    return slot != nullptr && open(slot, false, false);
  }
  bool key(string_t& k) {
    Frame& f = frames_.back();
    if (k.size() > bounds_.keyBytes) {
      return refuse("键长 " + std::to_string(k.size()) + " 字节，超过上限 " +
                        std::to_string(bounds_.keyBytes) + " 字节。",
                    "a key of " + std::to_string(k.size()) + " bytes, more than the " +
                        std::to_string(bounds_.keyBytes) + " a key may hold");
    }
    if (f.keys.size() >= bounds_.keys) {
      return refuse("一个对象中的键多于 " + std::to_string(bounds_.keys) + " 个。",
                    "an object of more than " + std::to_string(bounds_.keys) + " keys");
    }
    if (!f.keys.insert(k).second) {
      f.key = k;
      return refuse(JsonFault::Kind::RepeatedKey, "键“" + clipped(k) + "”在同一对象中出现了两次。",
                    "the key '" + clipped(k) + "' is given twice in one object");
    }
    f.key = std::move(k);
    return true;
  }
  bool end_object() { return close(); }

  bool start_array(std::size_t) {
    const bool streamed = streamed_ && frames_.size() == 1 && !frames_.back().array &&
                          frames_.back().key == streamed_->key;
    Json* slot = place(Json::array());
    return slot != nullptr && open(slot, true, streamed);
  }
  bool end_array() { return close(); }

  bool parse_error(std::size_t position, const std::string& token,
                   const nlohmann::detail::exception& ex) {
    // The position is after the last byte read: a number out of range is placed where it
    // starts, anything else at the byte that does not fit (the end of a file cut off).
    const std::size_t start = ex.id == 406
                                  ? (position >= token.size() ? position - token.size() : 0)
                                  : (position > 0 ? position - 1 : 0);
    const auto [line, column] = line_and_column(bytes_, start);
    JsonFault f;
    f.line = line;
    f.column = column;
    const std::string reason = reason_of(ex.what());
    const std::string at = "第 " + std::to_string(line) + " 行第 " + std::to_string(column) + " 列";
    f.message = "line " + std::to_string(line) + ", column " + std::to_string(column) + ": ";
    if (ex.id == 406) {
      f.text = at + "的数值 " + clipped(token) + " 超出范围。";
      f.message += "the number " + clipped(token) + " is out of range";
    } else if (reason.find("unexpected end of input") != std::string::npos) {
      f.text = at + "：文件在此中断，内容不完整。";
      f.message += "the file ends before the document does (cut off?)";
    } else if (reason.find("UTF-8") != std::string::npos) {
      f.text = at + "：不是有效的 UTF-8 文本。";
      f.message += "not valid UTF-8 (" + reason + ")";
    } else if (reason.find("control character") != std::string::npos) {
      f.text = at + "：文本中有未转义的控制字符。";
      f.message += "a control character in a text (" + reason + ")";
    } else {
      f.text = at + "：不是有效的 JSON（语法错误）。";
      f.message += "not valid JSON (" + reason + ")";
    }
    fault_ = std::move(f);
    return false;
  }

  Json& document() { return document_; }
  std::optional<JsonFault>& fault() { return fault_; }

 private:
  struct Frame {
    Json* container = nullptr;
    bool array = false;
    bool streamed = false;
    std::size_t count = 0;  // elements (lists) or values (objects) so far
    std::string key;        // of the value being read (objects)
    std::unordered_set<std::string> keys;
  };

  // Where a new value goes: the document, a list, an object under its key, or (an element of
  // the streamed list) the element being read.
  Json* place(Json&& v) {
    if (frames_.empty()) {
      document_ = std::move(v);
      return &document_;
    }
    Frame& f = frames_.back();
    if (f.array) {
      const std::size_t most = f.streamed ? bounds_.streamedLength : bounds_.listLength;
      if (f.count >= most) {
        refuse("列表的元素多于 " + std::to_string(most) + " 个。",
               "a list of more than " + std::to_string(most) + " elements");
        return nullptr;
      }
    }
    ++f.count;
    if (f.streamed) {
      element_ = std::move(v);
      return &element_;
    }
    if (f.array) {
      auto& list = *f.container->get_ptr<Json::array_t*>();
      list.push_back(std::move(v));
      return &list.back();
    }
    // The key was checked to be new: the value goes at the end without the map's search for
    // an equal key (which would make an object of many keys cost their square).
    auto& object =
        static_cast<Json::object_t::Container&>(*f.container->get_ptr<Json::object_t*>());
    object.emplace_back(f.key, std::move(v));
    return &object.back().second;
  }

  bool open(Json* container, bool array, bool streamed) {
    if (frames_.size() >= bounds_.depth) {
      return refuse("嵌套超过 " + std::to_string(bounds_.depth) + " 层。",
                    "nested more than " + std::to_string(bounds_.depth) + " levels deep");
    }
    Frame f;
    f.container = container;
    f.array = array;
    f.streamed = streamed;
    frames_.push_back(std::move(f));
    return true;
  }

  bool close() {
    frames_.pop_back();
    return completed();
  }

  bool scalar(Json&& v) {
    if (place(std::move(v)) == nullptr) return false;
    return completed();
  }

  // A value is complete: an element of the streamed list is handed over.
  bool completed() {
    if (frames_.empty() || !frames_.back().streamed) return true;
    Json element = std::move(element_);
    element_ = Json();
    if (streamed_->take(std::move(element), frames_.back().count - 1)) return true;
    fault_ = JsonFault{JsonFault::Kind::Stopped, 0, 0, path(), {}, {}};
    return false;
  }

  // The path of the value being read: "/members[3]/options"; of a deep one, its first steps.
  std::string path() const {
    constexpr std::size_t kShown = 8;
    std::string p;
    for (std::size_t k = 0; k < frames_.size(); ++k) {
      if (k == kShown) {
        p += "/…";
        break;
      }
      const Frame& f = frames_[k];
      if (f.array) {
        p += "[" + std::to_string(f.count == 0 ? 0 : f.count - 1) + "]";
      } else if (!f.key.empty() || f.count > 0 || !f.keys.empty()) {
        p += "/" + clipped(f.key);
      }
    }
    return p.empty() ? "/" : p;
  }

  bool refuse(const std::string& text, const std::string& message) {
    return refuse(JsonFault::Kind::Bound, text, message);
  }
  bool refuse(JsonFault::Kind kind, const std::string& text, const std::string& message) {
    JsonFault f;
    f.kind = kind;
    f.path = path();
    // The last byte read: the bracket that went too deep, the quote that closed the key.
    const std::size_t read = static_cast<std::size_t>(*reached_ - bytes_.data());
    const auto [line, column] = line_and_column(bytes_, read > 0 ? read - 1 : 0);
    f.line = line;
    f.column = column;
    const std::string at = std::to_string(line) + " 行第 " + std::to_string(column) + " 列";
    f.text = "第 " + at + "（" + f.path + "）：" + text;
    f.message = "line " + std::to_string(line) + ", column " + std::to_string(column) + " (" +
                f.path + "): " + message;
    fault_ = std::move(f);
    return false;
  }

  std::string_view bytes_;
  const JsonBounds& bounds_;
  const std::optional<StreamedList>& streamed_;
  const char* const* reached_;
  Json document_;
  Json element_;
  std::vector<Frame> frames_;
  std::optional<JsonFault> fault_;
};

}  // namespace

JsonReading read_json(std::string_view bytes, const JsonBounds& bounds,
                      const std::optional<StreamedList>& streamed) {
  JsonReading out;
  const char* reached = bytes.data();
  DocumentBuilder builder(bytes, bounds, streamed, &reached);
  try {
    const bool whole =
        Json::sax_parse(CountingIterator(bytes.data(), &reached),
                        CountingIterator(bytes.data() + bytes.size(), nullptr), &builder);
    if (!whole && !builder.fault()) {
      builder.fault() =
          JsonFault{JsonFault::Kind::Text, 0, 0, "/", "文件无法读取。", "the file cannot be read"};
    }
  } catch (const std::bad_alloc&) {
    builder.fault() = JsonFault{JsonFault::Kind::Bound,
                                0,
                                0,
                                "/",
                                "内存不足，文件无法读取。",
                                "not enough memory to read the file"};
  } catch (const std::exception& e) {
    builder.fault() = JsonFault{JsonFault::Kind::Text,
                                0,
                                0,
                                "/",
                                "文件无法读取（" + clipped(e.what(), 120) + "）。",
                                std::string("the file cannot be read (") + e.what() + ")"};
  }
  out.fault = std::move(builder.fault());
  if (!out.fault) out.document = std::move(builder.document());
  return out;
}

std::pair<std::size_t, std::size_t> line_and_column(std::string_view bytes, std::size_t offset) {
  std::size_t line = 1;
  std::size_t column = 1;
  const std::size_t end = std::min(offset, bytes.size());
  for (std::size_t i = 0; i < end; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '\n') {
      ++line;
      column = 1;
    } else if ((c & 0xC0) != 0x80) {  // a character starts (not a continuation byte)
      ++column;
    }
  }
  return {line, column};
}

std::size_t character_count(std::string_view utf8) {
  std::size_t n = 0;
  for (const char ch : utf8) n += (static_cast<unsigned char>(ch) & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

std::string clipped(std::string_view text, std::size_t chars) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && n++ == chars) {
      return std::string(text.substr(0, i)) + "…";
    }
  }
  return std::string(text);
}

}  // namespace pellucor::analysis::project

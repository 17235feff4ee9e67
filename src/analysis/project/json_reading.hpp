// A JSON document read within bounds, for files a user hands the program: however the bytes
// came about (cut off, edited by hand, made to harm), reading ends with the document or with
// the reason and the place, never with an exception, a crash or memory beyond what the bounds
// allow.
//
// The parser is the library's event parser (it keeps its own stack, so nesting costs no
// machine stack), and the document is built here from its events: deeper nesting, a longer
// text or key, a longer list or more keys than the bounds allow stop the reading at once,
// before anything of that size is built; a key given twice in one object is refused (the
// library would keep one of the two without a word). One list of the document may be handed
// over an element at a time (a project's members), so that a large document is never held
// whole.
#pragma once

#include <cstddef>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace pellucor::analysis::project {

using Json = nlohmann::ordered_json;

struct JsonBounds {
  std::size_t depth = 64;           // nested lists and objects
  std::size_t textBytes = 1 << 20;  // a text (UTF-8 bytes)
  std::size_t keyBytes = 256;       // a key
  std::size_t keys = 1000;          // keys of one object
  std::size_t listLength = 100000;  // elements of a list
  std::size_t streamedLength = 0;   // elements of the list handed over one at a time
};

// Why a document was not read, and where: its line and column (from 1, columns in characters)
// for a fault of the text itself, or the path of the value ("/members[3]/options") for a bound
// or a repeated key.
struct JsonFault {
  enum class Kind {
    Text,         // not JSON: cut off, a syntax error, not UTF-8, a number out of range
    Bound,        // beyond one of the bounds
    RepeatedKey,  // a key given twice in one object
    Stopped,      // the taker of the streamed list stopped the reading (its reason is its own)
  };
  Kind kind = Kind::Text;
  std::size_t line = 0;  // 0: the place is `path`
  std::size_t column = 0;
  std::string path;
  std::string text;     // Chinese
  std::string message;  // English
};

// The list to hand over an element at a time: the value of `key` in the top-level object.
// `take` gets each element (with its index) as soon as it is complete, and returns false to
// stop the reading; the list itself stays empty in the document.
struct StreamedList {
  std::string_view key;
  std::function<bool(Json&& element, std::size_t index)> take;
};

struct JsonReading {
  Json document;
  std::optional<JsonFault> fault;  // set: no document
};

JsonReading read_json(std::string_view bytes, const JsonBounds& bounds,
                      const std::optional<StreamedList>& streamed = std::nullopt);

// The line and column (from 1; columns count UTF-8 characters) of a byte offset.
std::pair<std::size_t, std::size_t> line_and_column(std::string_view bytes, std::size_t offset);

// A text as a message quotes it: at most `chars` characters, the rest counted.
std::string clipped(std::string_view text, std::size_t chars = 40);

// The characters (UTF-8 code points) of a text.
std::size_t character_count(std::string_view utf8);

}  // namespace pellucor::analysis::project

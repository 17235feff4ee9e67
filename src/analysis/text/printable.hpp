// Texts from a user's file as a terminal shows them. A member's name may hold anything a JSON
// text can: an escape that moves the cursor or recolours the terminal, a carriage return that
// writes over the line, a right-to-left override that shows "gnp.exe" for "exe.png". Printed as
// it stands, such a name would change what the engineer reads; printed through printable(), it
// shows what it holds.
#pragma once

#include <string>
#include <string_view>

namespace pellucor::analysis::text {

// `utf8` with every character that would not show as itself written as an escape: the control
// characters (U+0000..U+001F but none of them kept, U+007F, U+0080..U+009F) as \t, \n, \r or
// \u00XX; the characters that reorder or hide text (U+200B..U+200F, U+2028, U+2029,
// U+202A..U+202E, U+2060..U+2069, U+FEFF) as \uXXXX; a byte that is no part of a UTF-8
// character as \xNN; and the backslash as \\, so that an escape can be told from the same
// characters typed. Every other character, Chinese included, stays as it is.
std::string printable(std::string_view utf8);

}  // namespace pellucor::analysis::text

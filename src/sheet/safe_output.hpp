// Writing a whole output file so that it is complete, safe and where the user meant it: the
// platform's safe output (platform/safe_output.hpp) and file identities, with the message a
// failed output gives in the words of the result file's Save.
#pragma once

#include <string>
#include <string_view>

#include "platform/files.hpp"
#include "platform/safe_output.hpp"
#include "sheet/result_writer.hpp"

namespace pellucor::sheet {

using platform::file_key;
using platform::file_key_of;
using platform::FileKey;
using platform::remove_pending_temporaries;
using platform::SafeOutput;
using platform::same_file;

// The message of a failed output in the words of the result file's Save: "无法写入文件 PATH
// （REASON），数据未保存!".
std::string output_failure_message(std::string_view path, const WriteFailure& failure);

}  // namespace pellucor::sheet

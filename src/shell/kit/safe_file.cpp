#include "shell/kit/safe_file.hpp"

#include <string>

#include "sheet/safe_output.hpp"

namespace pellucor::shell {

bool write_whole_file(const QString& path, const QByteArray& bytes, QString* error) {
  const std::string name = path.toStdString();
  sheet::SafeOutput out;
  auto failure = out.open(name);
  if (!failure) {
    failure =
        out.write(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  }
  if (!failure) failure = out.commit();
  if (!failure) return true;
  out.abandon();
  if (error != nullptr) {
    *error = QString::fromStdString(sheet::output_failure_message(name, *failure));
  }
  return false;
}

}  // namespace pellucor::shell

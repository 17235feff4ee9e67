// The desktop's files (the PDF report, chart pictures, CSV exports) written whole through the
// safe output of the sheet layer: made in memory, then put in place only when complete, an
// existing file keeping its mode, owner and links or refused; the reason in Chinese otherwise.
#pragma once

#include <QByteArray>
#include <QString>

namespace pellucor::shell {

// Writes `bytes` as the whole new content of `path`; false with *error set (the message of the
// result file's Save: "无法写入文件 …（reason），数据未保存!") when it cannot. The file is then
// as it was.
bool write_whole_file(const QString& path, const QByteArray& bytes, QString* error = nullptr);

}  // namespace pellucor::shell

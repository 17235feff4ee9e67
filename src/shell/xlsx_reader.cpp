#include "shell/xlsx_reader.hpp"

#include <zip.h>

#include <QByteArray>
#include <QFile>
#include <QXmlStreamReader>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

namespace pellucor::shell {

namespace {

// A workbook part bigger than this is refused rather than read into memory.
constexpr zip_uint64_t kMaxPartBytes = zip_uint64_t{256} << 20;

[[noreturn]] void refuse(const QString& path, const QString& why) {
  throw std::runtime_error(QStringLiteral("无法读取工作簿 %1：%2").arg(path, why).toStdString());
}

struct ZipCloser {
  void operator()(zip_t* z) const { zip_discard(z); }
};

// One part of the package, or none when it is not there.
std::optional<QByteArray> part(zip_t* zip, const QString& path, const char* name) {
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat(zip, name, 0, &st) != 0) return std::nullopt;
  if (!(st.valid & ZIP_STAT_SIZE) || st.size > kMaxPartBytes) {
    refuse(path, QStringLiteral("%1 过大").arg(QString::fromLatin1(name)));
  }
  std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> file(zip_fopen(zip, name, 0), zip_fclose);
  if (!file) refuse(path, QStringLiteral("无法打开 %1").arg(QString::fromLatin1(name)));
  QByteArray bytes(static_cast<qsizetype>(st.size), '\0');
  zip_int64_t got = 0;
  while (got < static_cast<zip_int64_t>(st.size)) {
    const zip_int64_t n =
        zip_fread(file.get(), bytes.data() + got, st.size - static_cast<zip_uint64_t>(got));
    if (n <= 0) refuse(path, QStringLiteral("%1 读取出错").arg(QString::fromLatin1(name)));
    got += n;
  }
  return bytes;
}

// The text of an element and of all elements inside it.
QString element_text(QXmlStreamReader& xml) {
  QString text;
  int depth = 1;
  while (depth > 0 && !xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement()) {
      ++depth;
    } else if (xml.isEndElement()) {
      --depth;
    } else if (xml.isCharacters()) {
      text += xml.text();
    }
  }
  return text;
}

std::vector<QString> shared_strings(const QByteArray& bytes) {
  std::vector<QString> out;
  QXmlStreamReader xml(bytes);
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement() || xml.name() != QLatin1String("si")) continue;
    // The runs of a rich text, without their phonetic guides.
    QString text;
    int depth = 1;
    while (depth > 0 && !xml.atEnd()) {
      xml.readNext();
      if (xml.isStartElement()) {
        if (xml.name() == QLatin1String("rPh")) {
          element_text(xml);
          continue;
        }
        ++depth;
        if (xml.name() == QLatin1String("t")) {
          text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
          --depth;
        }
      } else if (xml.isEndElement()) {
        --depth;
      }
    }
    out.push_back(text);
  }
  return out;
}

// The target of the first sheet of workbook.xml, as its relationships name it.
std::string first_sheet_part(zip_t* zip, const QString& path) {
  const auto book = part(zip, path, "xl/workbook.xml");
  const auto rels = part(zip, path, "xl/_rels/workbook.xml.rels");
  if (!book) refuse(path, QStringLiteral("不是工作簿（缺少 xl/workbook.xml）"));
  QString id;
  QXmlStreamReader xml(*book);
  while (!xml.atEnd() && id.isEmpty()) {
    xml.readNext();
    if (xml.isStartElement() && xml.name() == QLatin1String("sheet")) {
      for (const auto& a : xml.attributes()) {
        if (a.name() == QLatin1String("id")) id = a.value().toString();
      }
    }
  }
  if (id.isEmpty()) refuse(path, QStringLiteral("工作簿中没有工作表"));
  if (rels) {
    QXmlStreamReader r(*rels);
    while (!r.atEnd()) {
      r.readNext();
      if (!r.isStartElement() || r.name() != QLatin1String("Relationship")) continue;
      if (r.attributes().value(QLatin1String("Id")) != id) continue;
      QString target = r.attributes().value(QLatin1String("Target")).toString();
      if (target.startsWith(QLatin1Char('/'))) return target.mid(1).toStdString();
      return (QStringLiteral("xl/") + target).toStdString();
    }
  }
  return "xl/worksheets/sheet1.xml";
}

// "BC12" -> column 54 (0-based), from the letters.
int column_of(QStringView reference) {
  int column = 0;
  for (const QChar c : reference) {
    if (c < QLatin1Char('A') || c > QLatin1Char('Z')) break;
    column = column * 26 + (c.unicode() - 'A' + 1);
  }
  return column - 1;
}

}  // namespace

SheetRows read_first_worksheet(const QString& path) {
  int error = 0;
  std::unique_ptr<zip_t, ZipCloser> zip(
      zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error));
  if (!zip) refuse(path, QStringLiteral("不是工作簿或无法打开"));
  const auto strings = part(zip.get(), path, "xl/sharedStrings.xml");
  const std::vector<QString> shared = strings ? shared_strings(*strings) : std::vector<QString>{};
  const std::string sheetName = first_sheet_part(zip.get(), path);
  const auto sheet = part(zip.get(), path, sheetName.c_str());
  if (!sheet) refuse(path, QStringLiteral("缺少工作表 %1").arg(QString::fromStdString(sheetName)));

  SheetRows out;
  QXmlStreamReader xml(*sheet);
  std::map<int, std::string> cells;
  std::size_t rowNumber = 0;
  auto endRow = [&] {
    std::vector<std::string> row;
    if (!cells.empty()) row.resize(static_cast<std::size_t>(cells.rbegin()->first) + 1);
    for (auto& [c, text] : cells) row[static_cast<std::size_t>(c)] = std::move(text);
    out.rows.push_back(std::move(row));
    out.numbers.push_back(rowNumber);
    cells.clear();
  };
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement() && xml.name() == QLatin1String("row")) {
      rowNumber = xml.attributes().value(QLatin1String("r")).toULongLong();
      if (rowNumber == 0) rowNumber = out.numbers.empty() ? 1 : out.numbers.back() + 1;
      // Rows left out of the sheet are empty rows of the table.
      while (!out.numbers.empty() && out.numbers.back() + 1 < rowNumber) {
        out.rows.emplace_back();
        out.numbers.push_back(out.numbers.back() + 1);
      }
    } else if (xml.isEndElement() && xml.name() == QLatin1String("row")) {
      endRow();
    } else if (xml.isStartElement() && xml.name() == QLatin1String("c")) {
      const auto attrs = xml.attributes();
      const int column = attrs.hasAttribute(QLatin1String("r"))
                             ? column_of(attrs.value(QLatin1String("r")))
                             : (cells.empty() ? 0 : cells.rbegin()->first + 1);
      const QString type = attrs.value(QLatin1String("t")).toString();
      QString value;
      QString inline_;
      int depth = 1;
      while (depth > 0 && !xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
          if (xml.name() == QLatin1String("v")) {
            value = xml.readElementText(QXmlStreamReader::IncludeChildElements);
          } else if (xml.name() == QLatin1String("is")) {
            inline_ = element_text(xml);
          } else {
            ++depth;
          }
        } else if (xml.isEndElement()) {
          --depth;
        }
      }
      QString text;
      if (type == QLatin1String("s")) {
        bool ok = false;
        const qulonglong i = value.toULongLong(&ok);
        if (!ok || i >= shared.size()) refuse(path, QStringLiteral("单元格引用了不存在的字符串"));
        text = shared[static_cast<std::size_t>(i)];
      } else if (type == QLatin1String("inlineStr")) {
        text = inline_;
      } else if (type.isEmpty() || type == QLatin1String("n")) {
        bool ok = false;
        const double v = value.toDouble(&ok);
        text = ok && std::isfinite(v) ? QString::number(v, 'g', 15) : value;
      } else {
        text = value;  // str (a formula's text), b (0 or 1), e (an error such as #DIV/0!)
      }
      if (column >= 0 && column < 16384) cells[column] = text.toStdString();
    }
  }
  if (xml.hasError()) {
    refuse(path, QStringLiteral("工作表不是完好的 XML（%1）").arg(xml.errorString()));
  }
  return out;
}

}  // namespace pellucor::shell

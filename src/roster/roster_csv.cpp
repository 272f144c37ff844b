// Rows to records and back. Both encodings a roster file may be in keep
// ASCII as it is and never use a comma, a quote or a line break inside a
// character, so the rows are cut up on the raw bytes and each text field is
// converted on its own.
#include "roster/roster_csv.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "console/console.h"
#include "files/character_length.h"
#include "files/file_system.h"

namespace {

// 姓名,学号,班级,科目一,科目二,科目三,平均分
constexpr std::string_view kHeader =
    "\xd0\xd5\xc3\xfb,\xd1\xa7\xba\xc5,\xb0\xe0\xbc\xb6,\xbf\xc6\xc4\xbf\xd2\xbb,\xbf\xc6\xc4\xbf\xb6\xfe,"
    "\xbf\xc6\xc4\xbf\xc8\xfd,\xc6\xbd\xbe\xf9\xb7\xd6";
constexpr std::string_view kByteOrderMark = "\xef\xbb\xbf";

// --- Writing ---------------------------------------------------------------

// A spreadsheet would lose or split a field holding these unless quoted.
bool needs_quotes(std::string_view field) {
  if (field.empty()) return false;
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  return field.find_first_of(",\"\r\n") != std::string_view::npos || blank(field.front()) || blank(field.back());
}

void append_field(std::string& out, std::string_view field) {
  if (!needs_quotes(field)) {
    out.append(field);
    return;
  }
  out.push_back('"');
  for (char c : field) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

// A spreadsheet runs a cell that begins with one of these as a formula
// (=1+1 shows 2, =HYPERLINK(...) links anywhere). Such a text is written
// behind an apostrophe, which spreadsheets show as it is and which reading
// takes off again; a text that is apostrophes before such a character gets
// one more, so that every text reads back exactly as it was.
bool starts_formula(std::string_view text) {
  std::size_t first = text.find_first_not_of('\'');
  return first < text.size() && std::string_view("=+-@\t\r").find(text[first]) != std::string_view::npos;
}

void append_text(std::string& out, std::string_view text) {
  if (!starts_formula(text)) {
    append_field(out, text);
    return;
  }
  std::string guarded(1, '\'');
  guarded.append(text);
  append_field(out, guarded);
}

// The shortest decimal that reads back as the same double.
void append_score(std::string& out, double value) {
  char digits[32];
  std::to_chars_result written = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, written.ptr);
}

// --- Reading -----------------------------------------------------------------


struct csv_row {
  int line = 0;
  std::vector<std::string> fields;
};

enum class row_outcome { row, end, problem };

// Cuts RFC 4180 rows out of the file: fields split by commas, a quoted field
// may hold commas, line breaks and doubled quotes; rows end in CR LF, LF or
// CR.
class csv_reader {
 public:
  explicit csv_reader(std::string_view text) : text_(text) {}

  row_outcome next(csv_row& row, csv_problem& problem) {
    if (at_ >= text_.size()) return row_outcome::end;
    row.line = line_;
    row.fields.clear();
    for (;;) {
      std::string& field = row.fields.emplace_back();
      if (at_ < text_.size() && text_[at_] == '"') {
        if (!quoted(field, static_cast<int>(row.fields.size()), problem)) return row_outcome::problem;
      } else {
        while (at_ < text_.size() && !ends_field(text_[at_])) field.push_back(text_[at_++]);
      }
      if (at_ >= text_.size()) return row_outcome::row;
      char c = text_[at_++];
      if (c == ',') continue;
      line_break(c);
      return row_outcome::row;
    }
  }

 private:
  static bool ends_field(char c) { return c == ',' || c == '\r' || c == '\n'; }

  void line_break(char c) {
    if (c == '\r' && at_ < text_.size() && text_[at_] == '\n') ++at_;
    ++line_;
  }

  bool quoted(std::string& field, int number, csv_problem& problem) {
    int opened = line_;
    ++at_;
    for (;;) {
      if (at_ >= text_.size()) {
        problem = {opened, number, console::message("a quote that is never closed")};
        return false;
      }
      char c = text_[at_++];
      if (c == '"') {
        if (at_ < text_.size() && text_[at_] == '"') {
          field.push_back('"');
          ++at_;
          continue;
        }
        if (at_ < text_.size() && !ends_field(text_[at_])) {
          problem = {line_, number, console::message("text after the closing quote")};
          return false;
        }
        return true;
      }
      field.push_back(c);
      if (c == '\r' || c == '\n') {
        if (c == '\r' && at_ < text_.size() && text_[at_] == '\n') field.push_back(text_[at_++]);
        ++line_;
      }
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
  int line_ = 1;
};

bool is_blank(const csv_row& row) {
  for (const std::string& field : row.fields) {
    if (!field.empty()) return false;
  }
  return true;
}

// A field's text as GBK; false when it holds what GBK cannot.
bool to_gbk(const std::string& field, bool utf8, std::string& gbk) {
  gbk.clear();
  if (utf8) return files::utf8_to_gbk(field, gbk);
  std::string ignored;
  gbk = field;
  return files::gbk_to_utf8(field, ignored);
}

// Stores a text field as the entry form would: control characters but Tab
// as '?', at most 19 bytes.
bool store_text(std::string_view field, bool utf8, char* into, std::string& what) {
  if (field.size() > 1 && field.front() == '\'' && starts_formula(field)) field.remove_prefix(1);
  std::string gbk;
  if (!to_gbk(std::string(field), utf8, gbk)) {
    what = utf8 ? console::message("a character this program cannot keep (a rare character or an emoji, say)")
                : console::message("text in an encoding that is not recognised: save it as CSV UTF-8 (comma delimited)");
    return false;
  }
  if (gbk.size() >= text_field_size) {
    what = console::message("too long: at most 19 bytes (about 9 Chinese characters), and it has %s",
                            {std::to_string(gbk.size())});
    return false;
  }
  for (char& c : gbk) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t') c = '?';
  }
  std::memcpy(into, gbk.c_str(), gbk.size() + 1);
  return true;
}

bool store_score(std::string_view field, double& score, std::string& what) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!field.empty() && blank(field.front())) field.remove_prefix(1);
  while (!field.empty() && blank(field.back())) field.remove_suffix(1);
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  double value = 0;
  std::from_chars_result read = std::from_chars(field.data(), field.data() + field.size(), value);
  if (field.empty() || read.ec != std::errc() || read.ptr != field.data() + field.size() || !std::isfinite(value)) {
    what = console::message("not a valid score (a number, such as 85 or 92.5)");
    return false;
  }
  score = value + 0.0;  // -0 is stored as 0, as the entry form stores it
  return true;
}

bool store_row(const csv_row& row, bool utf8, student& record, csv_problem& problem) {
  int count = static_cast<int>(row.fields.size());
  if (count != csv_fields) {
    int field = count < csv_fields ? count + 1 : csv_fields + 1;
    problem = {row.line, field,
               console::message("%s fields in the row, where a roster row has 7", {std::to_string(count)})};
    return false;
  }
  char* texts[3] = {record.name, record.student_no, record.class_name};
  for (int i = 0; i < 3; ++i) {
    if (!store_text(row.fields[static_cast<std::size_t>(i)], utf8, texts[i], problem.what)) {
      problem.line = row.line;
      problem.field = i + 1;
      return false;
    }
  }
  for (int i = 0; i < 3; ++i) {
    if (!store_score(row.fields[static_cast<std::size_t>(i + 3)], record.score[i], problem.what)) {
      problem.line = row.line;
      problem.field = i + 4;
      return false;
    }
  }
  record.average = average_of(record.score);
  return true;
}

bool is_header(const csv_row& row, bool utf8) {
  std::string gbk;
  std::string joined;
  for (const std::string& field : row.fields) {
    if (!to_gbk(field, utf8, gbk)) return false;
    if (!joined.empty()) joined.push_back(',');
    joined += gbk;
  }
  return row.fields.size() == csv_fields && joined == kHeader;
}

// A spreadsheet that saves a row's empty cells to the right of the table
// (once one of them was touched) writes them as empty fields.
void drop_trailing_empty_fields(csv_row& row) {
  while (row.fields.size() > csv_fields && row.fields.back().empty()) row.fields.pop_back();
}

// A first row that is the header with another separator: a spreadsheet's
// export in the list separator of the system's region, or its tab-separated
// text. Gives that separator, or 0.
char header_separator(const csv_row& row, bool utf8) {
  if (row.fields.size() != 1) return 0;
  for (char separator : {';', '\t'}) {
    csv_row split{row.line, {}};
    std::string_view line = row.fields.front();
    for (std::size_t at = 0;;) {
      std::size_t next = line.find(separator, at);
      split.fields.emplace_back(line.substr(at, next - at));
      if (next == std::string_view::npos) break;
      at = next + 1;
    }
    drop_trailing_empty_fields(split);
    if (is_header(split, utf8)) return separator;
  }
  return 0;
}

// Why a file whose first row is no header is not a roster, as plainly as can
// be said, and what to save it as instead.
std::string not_a_roster(const csv_row& row, bool utf8) {
  switch (header_separator(row, utf8)) {
    case ';':
      return console::message(
          "the fields are separated by semicolons, not commas: save it from the spreadsheet as CSV UTF-8 (comma "
          "delimited)");
    case '\t':
      return console::message(
          "the fields are separated by tabs, not commas: save it from the spreadsheet as CSV UTF-8 (comma delimited)");
    default:
      return console::message("not a roster file: the first row is not the header row of a roster, %s",
                              {console::platform_text(kHeader)});
  }
}

loaded_roster refused(roster* list, csv_problem problem) {
  release_roster(list);
  return {nullptr, 0, std::move(problem)};
}

}  // namespace

std::string csv_column_title(int field) {
  std::string_view titles = kHeader;
  for (int column = 1; column < field && !titles.empty(); ++column) {
    std::size_t comma = titles.find(',');
    titles = comma == std::string_view::npos ? std::string_view() : titles.substr(comma + 1);
  }
  return field >= 1 ? std::string(titles.substr(0, titles.find(','))) : std::string();
}

std::string roster_to_csv(const roster* list) {
  std::string gbk;
  gbk.append(kHeader).append("\r\n");
  for (const student* record = list->next; record != nullptr; record = record->next) {
    for (const char* field : {record->name, record->student_no, record->class_name}) {
      append_text(gbk, std::string_view(field, strnlen(field, text_field_size)));
      gbk.push_back(',');
    }
    for (double score : record->score) {
      append_score(gbk, score);
      gbk.push_back(',');
    }
    console::append_fixed1(gbk, record->average);  // for people: as the listing shows it
    gbk.append("\r\n");
  }
  std::string utf8(kByteOrderMark);
  files::gbk_to_utf8(gbk, utf8);
  return utf8;
}

// How far into a file a zero byte is looked for.
constexpr std::size_t kUtf16Sniff = 4096;

loaded_roster roster_from_csv(std::string_view bytes) {
  // "Unicode text" from a spreadsheet is UTF-16: a byte-order mark, or a
  // zero byte beside each ASCII character (its commas above all), which no
  // CSV text holds, even where its first characters are Chinese.
  if (bytes.substr(0, 2) == "\xff\xfe" || bytes.substr(0, 2) == "\xfe\xff" ||
      bytes.substr(0, kUtf16Sniff).find('\0') != std::string_view::npos) {
    return {nullptr, 0,
            {1, 0,
             console::message("a UTF-16 text file (Unicode text), not CSV: save it from the spreadsheet as "
                              "CSV UTF-8 (comma delimited)")}};
  }
  bool utf8 = bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark;
  if (utf8) {
    bytes.remove_prefix(kByteOrderMark.size());
  } else {
    utf8 = files::is_valid_utf8(bytes);
  }
  roster* list = make_empty_roster();
  if (list == nullptr) return {nullptr, 0, {0, 0, console::message("not enough memory")}};
  csv_reader reader(bytes);
  csv_row row;
  csv_problem problem;
  bool header_seen = false;
  int count = 0;
  student* last = list;
  for (;;) {
    row_outcome got = reader.next(row, problem);
    if (got == row_outcome::problem) return refused(list, problem);
    if (got == row_outcome::end) break;
    if (is_blank(row)) continue;
    drop_trailing_empty_fields(row);
    if (!header_seen) {
      if (!is_header(row, utf8)) return refused(list, {row.line, 0, not_a_roster(row, utf8)});
      header_seen = true;
      continue;
    }
    student* record = new (std::nothrow) student{};
    if (record == nullptr) return refused(list, {row.line, 0, console::message("not enough memory")});
    if (!store_row(row, utf8, *record, problem)) {
      delete record;
      return refused(list, problem);
    }
    last->next = record;
    last = record;
    ++count;
  }
  return {list, count, {}};
}

// The logbook's CSV: what velmora-logbook exports, and the file of runs the
// writer keeps back, read again at the next chance. Its columns are the
// logbook's columns (logbook/columns.h).
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string_view>

#include "logbook/columns.h"
#include "logbook/logbook.h"

namespace velmora::logbook {

namespace {

using columns::TColumn;

// A text a spreadsheet would take for a formula: one beginning with = + - @,
// a tab or a carriage return, behind any number of ' (so that a text that
// began with ' and such a character reads back as it was).
bool LooksLikeFormula(const std::string& v) {
  const std::size_t first = v.find_first_not_of('\'');
  return first != std::string::npos &&
         std::string_view("=+-@\t\r").find(v[first]) != std::string_view::npos;
}

std::string CsvText(const std::string& text) {
  const std::string v = LooksLikeFormula(text) ? "'" + text : text;
  if (v.find_first_of(",\"\r\n") == std::string::npos) return v;
  std::string quoted = "\"";
  for (char c : v) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string Number(double v, const char* format) {
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

// Splits CSV text into records of fields; false at a quote left open.
bool SplitCsv(const std::string& text, std::vector<std::vector<std::string>>& records,
              std::vector<int>& lines) {
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false, any = false;
  int line = 1, recordLine = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        if (c == '\n') ++line;
        field += c;
      }
    } else if (c == '"') {
      quoted = any = true;
    } else if (c == ',') {
      fields.push_back(std::move(field));
      field.clear();
      any = true;
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      if (any || !field.empty()) {
        fields.push_back(std::move(field));
        records.push_back(std::move(fields));
        lines.push_back(recordLine);
      }
      fields.clear();
      field.clear();
      any = false;
      recordLine = ++line;
    } else {
      field += c;
      any = true;
    }
  }
  if (quoted) return false;
  if (any || !field.empty()) {
    fields.push_back(std::move(field));
    records.push_back(std::move(fields));
    lines.push_back(recordLine);
  }
  return true;
}

// A text cell as it was before CsvText led it with '.
std::string PlainText(const std::string& cell) {
  return cell.size() > 1 && cell[0] == '\'' && LooksLikeFormula(cell.substr(1)) ? cell.substr(1)
                                                                                : cell;
}

// The kinds of the event key ("touchdown", …) whose cells hold values.
unsigned KindsOf(const std::string& kind) {
  if (kind == "touchdown") return columns::kAnyEvent | columns::kTouchdown;
  if (kind == "stop") return columns::kAnyEvent | columns::kStop;
  if (kind == "missed_stop") return columns::kAnyEvent | columns::kMissedStop;
  if (kind == "race") return columns::kAnyEvent | columns::kRace;
  return columns::kAnyEvent;
}

template <class Row>
std::size_t CsvColumns(std::span<const TColumn<Row>> table) {
  std::size_t n = 0;
  for (const TColumn<Row>& c : table) n += c.Heading != nullptr;
  return n;
}

template <class Row>
std::string Headings(std::span<const TColumn<Row>> table) {
  std::string headings;
  for (const TColumn<Row>& c : table) {
    if (c.Heading != nullptr) headings += std::string(",") + c.Heading;
  }
  return headings;
}

// The header line: the run's headings, then the event's.
std::string Header() {
  return (Headings<TRunRow>(columns::kRun) + Headings<TEventRow>(columns::kEvent)).substr(1);
}

// A row's CSV cells, each led by a comma; a cell whose column holds no value
// for these kinds of event stays empty. Exact numbers are written to be read
// back; a column for people alone is always rounded.
template <class Row>
std::string Cells(const Row& row, std::span<const TColumn<Row>> table, unsigned kinds, bool exact) {
  std::string cells;
  for (const TColumn<Row>& c : table) {
    if (c.Heading == nullptr) continue;
    cells += ',';
    if ((c.Kinds & kinds) == 0) continue;
    std::visit(columns::TOverloaded{[](std::monostate) {},
                                    [&](std::string Row::*text) { cells += CsvText(row.*text); },
                                    [&](double Row::*number) {
                                      const bool back = exact && c.Name != nullptr;
                                      cells +=
                                          Number(row.*number * c.Scale, back ? "%.17g" : c.Rounded);
                                    },
                                    [&](auto integer) { cells += std::to_string(row.*integer); }},
               c.Field);
  }
  return cells;
}

// Reads a row's cells from the CSV record's cell `first` on. An empty number
// cell is 0; the first cell that is no number, or no whole number where one
// is due, is the fault.
template <class Row>
void ReadCells(const std::vector<std::string>& record, std::size_t first, Row& row,
               std::span<const TColumn<Row>> table, const std::string& where,
               std::optional<std::string>& fault) {
  std::size_t column = first;
  for (const TColumn<Row>& c : table) {
    if (c.Heading == nullptr) continue;
    const std::string& cell = record[column++];
    if (c.Name == nullptr) continue;  // for people alone
    const auto number = [&] {
      if (cell.empty() || fault) return 0.0;
      char* end = nullptr;
      errno = 0;
      const double v = std::strtod(cell.c_str(), &end);
      if (end != cell.c_str() + cell.size() || errno == ERANGE) {
        fault = where + std::to_string(column) + " 列目が数値ではありません: " + cell;
        return 0.0;
      }
      return v;
    };
    const auto integer = [&] {
      const double v = number();
      const bool whole = v >= std::numeric_limits<int32_t>::min() &&
                         v <= std::numeric_limits<int32_t>::max() && v == std::trunc(v);
      if (!fault && !whole) {
        fault = where + std::to_string(column) + " 列目が整数ではありません: " + cell;
      }
      return fault ? 0 : static_cast<int32_t>(v);
    };
    // The id is the file's own: a run read back gets a new one.
    std::visit(columns::TOverloaded{[](std::monostate) {}, [](int64_t Row::*) {},
                                    [&](std::string Row::*text) { row.*text = PlainText(cell); },
                                    [&](double Row::*real) { row.*real = number() / c.Scale; },
                                    [&](int32_t Row::*whole) { row.*whole = integer(); }},
               c.Field);
  }
}

}  // namespace

void WriteCsv(std::ostream& out, const std::vector<TRunRow>& runs, TCsvNumbers numbers,
              bool header) {
  const bool exact = numbers == TCsvNumbers::Exact;
  if (header) out << Header() << "\r\n";
  for (const TRunRow& r : runs) {
    const std::string run = Cells<TRunRow>(r, columns::kRun, columns::kAnyEvent, exact).substr(1);
    // A run without events: one line, every event cell empty.
    if (r.Events.empty()) out << run << Cells<TEventRow>({}, columns::kEvent, 0, exact) << "\r\n";
    for (const TEventRow& e : r.Events) {
      out << run << Cells<TEventRow>(e, columns::kEvent, KindsOf(e.Kind), exact) << "\r\n";
    }
  }
}

std::optional<std::string> ReadCsv(const std::string& text, const std::string& name,
                                   std::vector<TRunRow>& runs) {
  runs.clear();
  std::vector<std::vector<std::string>> records;
  std::vector<int> lines;
  if (!SplitCsv(text, records, lines)) return name + ": 引用符が閉じていません";
  std::string header;
  if (!records.empty()) {
    for (std::size_t i = 0; i < records[0].size(); ++i)
      header += (i > 0 ? "," : "") + records[0][i];
  }
  if (header != Header()) return name + ": 1 行目: 記録簿の CSV の見出しではありません";

  const std::size_t runColumns = CsvColumns<TRunRow>(columns::kRun);
  const std::size_t allColumns = runColumns + CsvColumns<TEventRow>(columns::kEvent);
  for (std::size_t n = 1; n < records.size(); ++n) {
    const std::vector<std::string>& f = records[n];
    const std::string where = name + ": " + std::to_string(lines[n]) + " 行目: ";
    if (f.size() != allColumns) {
      return where + "列が " + std::to_string(f.size()) + " あります（" +
             std::to_string(allColumns) + " のはず）";
    }
    std::optional<std::string> fault;
    // A new run at its first event, at a run without events, or where the
    // run's number changes.
    const bool firstEvent = f[runColumns].empty() || f[runColumns] == "0";
    if (runs.empty() || firstEvent || f[0] != records[n - 1][0]) {
      ReadCells<TRunRow>(f, 0, runs.emplace_back(), columns::kRun, where, fault);
    }
    if (!f[runColumns].empty()) {
      ReadCells<TEventRow>(f, runColumns, runs.back().Events.emplace_back(), columns::kEvent, where,
                           fault);
    }
    if (fault) {
      runs.clear();
      return fault;
    }
  }
  return std::nullopt;
}

}  // namespace velmora::logbook

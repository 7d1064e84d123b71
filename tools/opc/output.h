// Where `opc` writes: standard output as table, CSV or JSON, with a broken pipe noticed so the
// program can stop quietly.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/opc/command_line.h"

namespace opctool {

// Writes everything it is given to a file descriptor at once (no buffering, so a reader sees
// each row as it is read). Once a write fails with EPIPE the sink is broken and writes nothing
// more; the process must ignore SIGPIPE for that to be noticed rather than fatal.
class OutputSink {
  public:
    explicit OutputSink(int fd) : fd_(fd) {}
    // False once the sink is broken (or another write error happened).
    bool Write(std::string_view text);
    bool Broken() const { return broken_; }
    bool Failed() const { return failed_; }
    int ErrorNumber() const { return error_; }  // errno of the failed write

  private:
    int fd_;
    int error_ = 0;
    bool broken_ = false;
    bool failed_ = false;
};

// A field for CSV (quoted when it holds a comma, a quote, a line break or leading/trailing
// blanks) and a JSON string literal (quotes included, control characters escaped).
std::string CsvField(std::string_view text);
std::string JsonString(std::string_view text);

// Rows of one shape, written in the chosen format: a table with a header row and columns
// padded to their widest cell, CSV with a header line, or JSON with one array of objects per
// batch on one line (JSON Lines for repeated reads). Cells are UTF-8 text; for JSON each column
// says whether its cells are JSON already (numbers, values) or texts to quote.
class RowWriter {
  public:
    struct Column {
        std::string title;  // table heading
        std::string key;    // CSV heading and JSON member name
        bool json = false;  // cells are JSON values as they stand
    };

    RowWriter(OutputSink& sink, OutputFormat format, std::vector<Column> columns);
    // Writes one batch of rows; the header goes with the first batch only. False when the sink
    // is broken.
    bool WriteBatch(const std::vector<std::vector<std::string>>& rows);

  private:
    std::string TableLine(const std::vector<std::string>& cells) const;

    OutputSink& sink_;
    OutputFormat format_;
    std::vector<Column> columns_;
    std::vector<size_t> widths_;
    bool headerWritten_ = false;
};

// Display width of UTF-8 text in a terminal: one column per code point.
size_t DisplayWidth(std::string_view text);

}  // namespace opctool

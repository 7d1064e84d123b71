#include "tools/opc/output.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace opctool {

bool OutputSink::Write(std::string_view text) {
    if (broken_ || failed_)
        return false;
    while (!text.empty()) {
        const ssize_t written = ::write(fd_, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            error_ = errno;
            (errno == EPIPE ? broken_ : failed_) = true;
            return false;
        }
        text.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

std::string CsvField(std::string_view text) {
    const bool quote = text.find_first_of(",\"\r\n") != text.npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote)
        return std::string(text);
    std::string field = "\"";
    for (char c : text) {
        if (c == '"')
            field += '"';
        field += c;
    }
    return field + "\"";
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", c);
                    out += escape;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

size_t DisplayWidth(std::string_view text) {
    size_t width = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            ++width;
    return width;
}

RowWriter::RowWriter(OutputSink& sink, OutputFormat format, std::vector<Column> columns)
    : sink_(sink), format_(format), columns_(std::move(columns)) {
    for (const Column& column : columns_)
        widths_.push_back(DisplayWidth(column.title));
}

std::string RowWriter::TableLine(const std::vector<std::string>& cells) const {
    std::string line;
    for (size_t i = 0; i < columns_.size(); ++i) {
        const std::string& cell = i < cells.size() ? cells[i] : std::string();
        line += cell;
        if (i + 1 < columns_.size()) {
            const size_t width = DisplayWidth(cell);
            line.append(widths_[i] > width ? widths_[i] - width : 0, ' ');
            line += "  ";
        }
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line + "\n";
}

bool RowWriter::WriteBatch(const std::vector<std::vector<std::string>>& rows) {
    std::string text;
    switch (format_) {
        case OutputFormat::Table: {
            // The widths only grow, so repeated batches stay aligned with the header as far as
            // they can.
            for (const auto& row : rows)
                for (size_t i = 0; i < columns_.size() && i < row.size(); ++i)
                    widths_[i] = std::max(widths_[i], DisplayWidth(row[i]));
            if (!headerWritten_) {
                std::vector<std::string> titles;
                for (const Column& column : columns_)
                    titles.push_back(column.title);
                text += TableLine(titles);
            }
            for (const auto& row : rows)
                text += TableLine(row);
            break;
        }
        case OutputFormat::Csv: {
            auto line = [&](auto cell) {
                for (size_t i = 0; i < columns_.size(); ++i) {
                    if (i)
                        text += ',';
                    text += CsvField(cell(i));
                }
                text += "\n";
            };
            if (!headerWritten_)
                line([&](size_t i) { return columns_[i].key; });
            for (const auto& row : rows)
                line([&](size_t i) { return i < row.size() ? row[i] : std::string(); });
            break;
        }
        case OutputFormat::Json: {
            text += "[";
            for (size_t r = 0; r < rows.size(); ++r) {
                text += r ? ",{" : "{";
                for (size_t i = 0; i < columns_.size(); ++i) {
                    const std::string cell = i < rows[r].size() ? rows[r][i] : std::string();
                    if (i)
                        text += ",";
                    text += JsonString(columns_[i].key) + ":";
                    text += columns_[i].json ? (cell.empty() ? "null" : cell) : JsonString(cell);
                }
                text += "}";
            }
            text += "]\n";
            break;
        }
    }
    headerWritten_ = true;
    return sink_.Write(text);
}

}  // namespace opctool

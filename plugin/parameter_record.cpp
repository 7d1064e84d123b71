#include "plugin/parameter_record.h"

#include <algorithm>

#include "plugin/number_format.h"

namespace virelon {
namespace {

enum class LineStatus { Line, End, TooLong };

LineStatus ReadLine(const ByteSource& source, std::string& line) {
    line.clear();
    bool pendingCr = false;
    char byte = 0;
    while (source(byte)) {
        if (pendingCr) {
            if (byte == '\n')
                return LineStatus::Line;
            // A CR not followed by LF belongs to the line.
            if (line.size() >= kMaxRecordLine)
                return LineStatus::TooLong;
            line += '\r';
            pendingCr = false;
        }
        if (byte == '\r') {
            pendingCr = true;
            continue;
        }
        if (line.size() >= kMaxRecordLine)
            return LineStatus::TooLong;
        line += byte;
    }
    return LineStatus::End;
}

}  // namespace

RecordStatus ReadParameterRecord(const ByteSource& source, ParameterRecord& record) {
    std::string line;
    auto text = [&](std::string& field) {
        if (ReadLine(source, line) != LineStatus::Line)
            return false;
        field = line;
        return true;
    };
    auto integer = [&](int32_t& field) {
        return ReadLine(source, line) == LineStatus::Line && ParseInteger(line, field);
    };
    auto flag = [&](uint8_t& field) {
        int32_t value = 0;
        if (!integer(value))
            return false;
        field = static_cast<uint8_t>(value);  // the stored byte is the number's low byte
        return true;
    };

    if (!integer(record.Version) || !text(record.Machine) || !text(record.Server))
        return RecordStatus::Damaged;
    int32_t count = 0;
    if (!integer(count) || count < 0 || count > kMaxRecordItems)
        return RecordStatus::Damaged;
    record.Count = count;
    for (int32_t k = 0; k < count; ++k)
        if (!text(record.ItemIDs[k]))
            return RecordStatus::Damaged;
    if (record.HasLogFlag() && !flag(record.WriteLogFile))
        return RecordStatus::Damaged;
    if (record.HasStateCheck() && !flag(record.CheckServerState))
        return RecordStatus::Damaged;
    if (record.HasDelay() && (!integer(record.DelayMode) || !integer(record.DelayTime)))
        return RecordStatus::Damaged;
    if (record.HasUpdateRate() && !integer(record.GroupUpdateRate))
        return RecordStatus::Damaged;
    return RecordStatus::Complete;
}

std::string FitRecordLine(std::string_view text) {
    const size_t lineEnd = text.find("\r\n");
    if (lineEnd != std::string_view::npos)
        text = text.substr(0, lineEnd);
    return std::string(text.substr(0, std::min(text.size(), kMaxRecordLine)));
}

std::vector<std::string> RecordLines(const ParameterRecord& record) {
    const int32_t count = std::clamp<int32_t>(record.Count, 0, kMaxRecordItems);
    std::vector<std::string> lines;
    lines.reserve(9 + static_cast<size_t>(count));
    lines.push_back(FormatInteger(record.Version));
    lines.push_back(FitRecordLine(record.Machine));
    lines.push_back(FitRecordLine(record.Server));
    lines.push_back(FormatInteger(count));
    for (int32_t k = 0; k < count; ++k)
        lines.push_back(FitRecordLine(record.ItemIDs[k]));
    lines.push_back(FormatInteger(record.WriteLogFile));
    lines.push_back(FormatInteger(record.CheckServerState));
    lines.push_back(FormatInteger(record.DelayMode));
    lines.push_back(FormatInteger(record.DelayTime));
    lines.push_back(FormatInteger(record.GroupUpdateRate));
    return lines;
}

std::string FormatParameterRecord(const ParameterRecord& record) {
    std::string text;
    for (const std::string& line : RecordLines(record))
        text.append(line).append("\r\n");
    return text;
}

}  // namespace virelon

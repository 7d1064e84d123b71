// The block's parameter record inside the host's model file: CR LF text lines in the system code
// page, starting with the record version.
//
//   1 version   2 machine   3 server   4 item count n   5..4+n item identifiers
//   5+n log flag (version > 249)   6+n state check flag (> 252)
//   7+n pause mode, 8+n fixed pause in ms (> 254)   9+n group update rate in ms (> 259)
//
// The format is kept free of the block's run-time parts so that the stand-in host can build
// and show records of this block library too.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace virelon {

constexpr int kMaxRecordItems = 50;
// A line holds at most this many bytes before its CR LF.
constexpr size_t kMaxRecordLine = 998;

// Texts are ANSI text of the system code page, as they stand in the file.
struct ParameterRecord {
    int32_t Version = 0;
    std::string Machine;
    std::string Server;
    int32_t Count = 0;  // 0 to kMaxRecordItems
    std::array<std::string, kMaxRecordItems> ItemIDs;
    uint8_t WriteLogFile = 0;
    uint8_t CheckServerState = 0;
    int32_t DelayMode = 0;
    int32_t DelayTime = 100;
    int32_t GroupUpdateRate = 0;

    // Which of the optional lines the version carries.
    bool HasLogFlag() const { return Version > 249; }
    bool HasStateCheck() const { return Version > 252; }
    bool HasDelay() const { return Version > 254; }
    bool HasUpdateRate() const { return Version > 259; }
};

enum class RecordStatus {
    Complete,  // every line the version and count call for was read
    Damaged,   // the record ended early, a line was too long, a number was not one, or the
               // item count was outside 0 to 50: reading stopped there
};

// Yields the record's bytes one at a time: false at the end (or on a read error).
using ByteSource = std::function<bool(char& byte)>;

// Reads one record. Lines end at a CR immediately followed by an LF; a CR not followed by an LF,
// or an LF alone, belongs to the line. Bytes are taken one at a time and never beyond the end of
// the record, so a reader on the host's file stops exactly behind it. A damaged record stops the
// reading at the fault: it consumes at most one line (kMaxRecordLine + 2 bytes) past the last
// good one, and `record` is then only partly filled.
RecordStatus ReadParameterRecord(const ByteSource& source, ParameterRecord& record);

// A text as it can stand on a record line: cut at the first CR LF (which would end the line) and
// to kMaxRecordLine bytes, so whatever is written can be read back.
std::string FitRecordLine(std::string_view text);

// The record's lines, each without its CR LF, in order: all lines of the current format, whatever
// `record.Version` says (the writer always writes them all). Texts are fitted with FitRecordLine
// and the count is clamped to 0..50.
std::vector<std::string> RecordLines(const ParameterRecord& record);
// The lines joined, each followed by CR LF.
std::string FormatParameterRecord(const ParameterRecord& record);

}  // namespace virelon

#include "plugin/persistence.h"

#include <algorithm>

#include "platform/text/text.h"

namespace virelon {

ParameterRecord RecordOf(const TVirelonData& data) {
    ParameterRecord record;
    record.Version = GetFileVersionNumber();
    record.Machine = Utf16ToAnsi(data.Machine);
    record.Server = Utf16ToAnsi(data.Server);
    record.Count = std::clamp<int32_t>(data.Count, 0, kMaxItems);
    for (int32_t k = 0; k < record.Count; ++k)
        record.ItemIDs[k] = data.ItemIDs[k];
    record.WriteLogFile = data.WriteLogFile;
    record.CheckServerState = data.CheckServerState;
    record.DelayMode = data.DelayMode;
    record.DelayTime = data.DelayTime;
    record.GroupUpdateRate = data.GroupUpdateRate;
    return record;
}

void ApplyRecord(const ParameterRecord& record, TVirelonData& data) {
    data.Machine = AnsiToUtf16(record.Machine);
    data.Server = AnsiToUtf16(record.Server);
    data.Count = std::clamp<int32_t>(record.Count, 0, kMaxItems);
    for (int32_t k = 0; k < data.Count; ++k)
        data.ItemIDs[k] = record.ItemIDs[k];
    if (record.HasLogFlag())
        data.WriteLogFile = record.WriteLogFile;
    if (record.HasStateCheck())
        data.CheckServerState = record.CheckServerState;
    if (record.HasDelay()) {
        data.DelayMode = record.DelayMode;
        data.DelayTime = record.DelayTime;
    }
    if (record.HasUpdateRate())
        data.GroupUpdateRate = record.GroupUpdateRate;
}

bool WriteToFile(HFILE file, const TVirelonData& data) {
    for (std::string line : RecordLines(RecordOf(data))) {
        line += "\r\n";
        // After a failed write the rest could only make a record that does not read back.
        if (_lwrite(file, line.data(), static_cast<UINT>(line.size())) != line.size())
            return false;
    }
    return true;
}

RecordStatus ReadFromFile(HFILE file, TVirelonData& data) {
    ParameterRecord record;
    const RecordStatus status =
        ReadParameterRecord([file](char& byte) { return _lread(file, &byte, 1) == 1; }, record);
    if (status == RecordStatus::Complete && !data.Simulating)
        ApplyRecord(record, data);
    return status;
}

}  // namespace virelon

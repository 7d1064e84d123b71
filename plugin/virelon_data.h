// TVirelonData: everything one block instance knows. Its configuration (server, items, options)
// comes from the parameter dialog or the model file; its value table is filled by the
// acquisition thread and copied by every simulation step; the rest is the state of a run.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "plugin/run_log.h"
#include "plugin/value_table.h"

namespace virelon {

class TClientThread;

class TVirelonData {
  public:
    // The defaults of a new instance (what InitUserDLL sets), the tag tree cache path aside.
    TVirelonData();
    // Releases the texts and nothing else: a run is ended by EndSimulationDLL2 before the host
    // frees the block. Should a thread still run, it is stopped first rather than left writing
    // into freed memory.
    ~TVirelonData();
    TVirelonData(const TVirelonData&) = delete;
    TVirelonData& operator=(const TVirelonData&) = delete;

    int32_t Count = 0;                           // configured items, 0 to kMaxItems
    ValueTable Values;                           // slot k+1 at index k
    std::u16string Machine;                      // empty: this computer
    std::u16string Server;                       // ProgID, or a class identifier "{...}"
    std::array<std::string, kMaxItems> ItemIDs;  // ANSI text; slot k+1 at index k
    bool Simulating = false;
    std::atomic<bool> Connected{false};     // written by the acquisition thread
    uint8_t WriteLogFile = 0;               // a byte: any value but 0 means on
    uint8_t CheckServerState = 0;           // a byte: any value but 0 means on
    std::unique_ptr<TClientThread> Thread;  // set only while Simulating
    std::u16string TagTreeFile;
    TRunLog LogFile;
    int32_t DelayMode = 0;        // 0 automatic; any other value fixed (DelayTime)
    int32_t DelayTime = 100;      // milliseconds
    int32_t GroupUpdateRate = 0;  // milliseconds
};

}  // namespace virelon

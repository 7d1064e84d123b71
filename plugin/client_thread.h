// TClientThread: the acquisition thread of a running block. It connects to the block's OPC
// server in its own apartment, puts the items into one group, and reads them again and again,
// storing each value in the block's value table, until its owner asks it to stop.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>

#include "opc/opc_da.h"
#include "platform/kernel/thread.h"
#include "plugin/value_table.h"

namespace virelon {

class TVirelonData;

class TClientThread final : public TThread {
  public:
    // Starts the thread at once for `data`, which must outlive it, with `initialDelay` as its
    // pause until the host's first step sets one.
    TClientThread(TVirelonData& data, int32_t initialDelay);
    // Asks the thread to stop and waits for it: it ends its cycle (a pause ends at once), then
    // releases the server on its own thread.
    ~TClientThread() override;

    // Pause after each cycle in milliseconds, written by the host's thread (SimulateDLL2) and
    // read before each pause. A negative pause acts as 0, which only yields the processor.
    std::atomic<int32_t> Delay{0};
    // Set at the end of the first cycle and never cleared; polled by InitSimulationDLL.
    std::atomic<bool> FirstCycleDone{false};
    // Cycles ended so far, for anyone who wants to watch the thread's progress.
    std::atomic<uint32_t> CyclesDone{0};

  protected:
    void Execute() override;

  private:
    void Connect();
    // Reads every item once when connected; answers whether any read succeeded.
    bool ReadItems();
    void ReadItem(int k, bool& anyRead);
    void Pause();
    void Cleanup();
    // Lines are made only when they can be written: a run without a log formats no timestamps.
    bool Logging() const;
    void Log(std::string_view line);
    int ItemCount() const;

    TVirelonData& Data;
    ComPtr<IOPCServer> OPCServer;
    ComPtr<IOPCItemMgt> Group;
    OPCHANDLE GroupHandle = 0;
    std::array<OPCHANDLE, kMaxItems> ItemHandles{};
    std::array<VARTYPE, kMaxItems> ItemTypes{};
};

}  // namespace virelon

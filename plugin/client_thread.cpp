#include "plugin/client_thread.h"

#include <algorithm>
#include <thread>

#include "opc/opc_access.h"
#include "platform/text/text.h"
#include "plugin/item_value.h"
#include "plugin/virelon_data.h"

namespace virelon {

TClientThread::TClientThread(TVirelonData& data, int32_t initialDelay) : Data(data) {
    Delay.store(initialDelay, std::memory_order_relaxed);
    // The class is final, so the object is complete here and the body may start.
    Start();
}

TClientThread::~TClientThread() {
    Terminate();
    WaitFor();
}

int TClientThread::ItemCount() const {
    return std::clamp<int32_t>(Data.Count, 0, kMaxItems);
}

bool TClientThread::Logging() const {
    return Data.WriteLogFile && Data.LogFile.IsOpen();
}

void TClientThread::Log(std::string_view line) {
    Data.LogFile.WriteLine(line);
}

void TClientThread::Connect() {
    // The old group belongs to the server that is about to be replaced.
    Group.Reset();
    OPCServer.Reset();
    ConnectToServer(std::u16string_view(Data.Machine), std::u16string_view(Data.Server), OPCServer);
    const bool connected = static_cast<bool>(OPCServer);
    Data.Connected.store(connected, std::memory_order_relaxed);
    if (connected) {
        ServerCreateGroup(OPCServer.Get(), std::u16string_view(u"Main"), -1,
                          static_cast<DWORD>(Data.GroupUpdateRate), Group, GroupHandle);
        for (int k = 0; k < ItemCount(); ++k) {
            OPCHANDLE handle = 0;
            VARTYPE type = VT_EMPTY;
            const HRESULT hr =
                GroupAddItem(Group.Get(), std::u16string_view(AnsiToUtf16(Data.ItemIDs[k])), 0,
                             VT_EMPTY, handle, type);
            if (SUCCEEDED(hr)) {
                ItemHandles[k] = handle;
                ItemTypes[k] = type;
            } else {
                if (Logging())
                    Log("GroupAddItem failed for " + Data.ItemIDs[k] + " at " + LogTimestamp());
            }
        }
        if (Logging())
            Log("Connected successfully at " + LogTimestamp());
    } else {
        if (Logging())
            Log("Connection failed at " + LogTimestamp());
    }
}

void TClientThread::ReadItem(int k, bool& anyRead) {
    std::u16string text;
    WORD quality = 0;  // not used: a value of bad quality comes as a text like any other
    const HRESULT hr = GroupReadItemText(Group.Get(), ItemHandles[k], text, quality);
    if (FAILED(hr)) {
        if (Logging())
            Log("Read operation for tag " + Data.ItemIDs[k] + " failed at " + LogTimestamp());
        Data.Values[k].Store(ReadFailedValue);
        return;
    }
    anyRead = true;
    text = ApplyCommaRule(std::move(text));
    long double value = 0.0L;
    if (ConvertItemText(text, ItemTypes[k], value)) {
        Data.Values[k].Store(value);
    } else {
        Data.Values[k].Store(ConversionFailedValue);
        if (Logging())
            Log("StrToFloat failed for " + Utf16ToAnsi(text) + " " + LogTimestamp());
    }
}

bool TClientThread::ReadItems() {
    bool anyRead = false;
    if (!Data.Connected.load(std::memory_order_relaxed))
        return anyRead;
    if (Data.CheckServerState && ServerGetState(OPCServer.Get()) != OPC_STATUS_RUNNING)
        return anyRead;
    for (int k = 0; k < ItemCount(); ++k)
        ReadItem(k, anyRead);
    return anyRead;
}

void TClientThread::Pause() {
    const int32_t delay = Delay.load(std::memory_order_relaxed);
    if (delay > 0) {
        // Ends early when the owner asks the thread to stop, so a long fixed pause never keeps
        // the end of a run waiting.
        PauseUnlessTerminated(static_cast<DWORD>(delay));
    } else {
        std::this_thread::yield();
    }
}

void TClientThread::Cleanup() {
    try {
        if (Data.Connected.load(std::memory_order_relaxed)) {
            for (int k = 0; k < ItemCount(); ++k)
                GroupDeleteItem(Group.Get(), ItemHandles[k]);
            if (OPCServer)
                OPCServer->RemoveGroup(GroupHandle, FALSE);
        }
    } catch (...) {
    }
    OPCServer.Reset();
    Data.Connected.store(false, std::memory_order_relaxed);
    // Released here, in the apartment the group belongs to, not when the object is freed on
    // the owner's thread.
    Group.Reset();
}

void TClientThread::Execute() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    try {
        Connect();
    } catch (...) {
    }
    do {
        // An unexpected error abandons the rest of its cycle; the loop goes on.
        try {
            if (!Data.Connected.load(std::memory_order_relaxed))
                Connect();
            const bool anyRead = ReadItems();
            FirstCycleDone.store(true, std::memory_order_release);
            Pause();
            Data.Connected.store(anyRead, std::memory_order_relaxed);
        } catch (...) {
        }
        CyclesDone.fetch_add(1, std::memory_order_release);
    } while (!Terminated());
    Cleanup();
    CoUninitialize();
}

}  // namespace virelon

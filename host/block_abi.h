// The binary interface between the simulation host and a user block library: the host's records
// as far as a block reads or writes them, the 10-byte output slots and the entry points' types.
// The host (korva) and the block library (libvirelon.so) both include this header, so the two
// sides cannot disagree about an offset.
//
// The records are byte layouts owned by the host; the block touches only the bytes named here.
// Offsets are those of the 32-bit host; on x86-64 addresses and handles are 8 bytes wide, which
// moves `BlockName` from 5583 to 5587. The fields sit at odd offsets, so the structs are packed
// and read field by field (never through a pointer to a field).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace korva::abi {

#if defined(__i386__)
#define KORVA_BLOCK_CALL __attribute__((stdcall))
#else
#define KORVA_BLOCK_CALL
#endif

// Window handle of the host's main window (a native window id; 0 for none).
using HostWindowHandle = uintptr_t;
// Handle of the 16-bit-compatible file calls; only its low 16 bits are used.
using HostFileHandle = int32_t;
// An argument slot the block never reads.
using IgnoredArg = intptr_t;

constexpr size_t kMaxOutputs = 50;
constexpr size_t kOutputNameSize = 41;  // 40 characters and the NUL
constexpr size_t kOutputSlotSize = 10;  // one x87 80-bit extended value

#pragma pack(push, 1)

// The host's record for one block instance.
struct THostBlock {
    uint8_t Reserved0[5571];
    void* Instance;  // the block's instance record; written by InitUserDLL only
#if defined(__i386__)
    uint8_t Reserved1[4];
#endif
    HostWindowHandle HostWindow;  // never written by the block
    const char* BlockName;        // NUL-terminated ANSI text; never written by the block
    uint8_t Reserved2[8192 - 5571 - 3 * sizeof(void*)
#if defined(__i386__)
                      - 4
#endif
    ];
};

// The host's input/output description of a block.
struct THostIOInfo {
    uint8_t InputCount;
    uint8_t OutputCount;
    uint8_t Reserved[2050];  // never touched by the block
    char OutputNames[kMaxOutputs][kOutputNameSize];
};

// Of these two the block writes only the bytes named.
struct THostParamInfo {
    uint8_t Flags[3];  // each set to 0
    uint8_t Reserved[61];
};
struct THostDialogEnable {
    uint8_t Reserved0[4];  // never touched
    int32_t Value4;        // set to 0
    int32_t Value8;        // set to 0
    uint8_t Flag12;        // set to 0
    uint8_t Reserved1[51];
};

#pragma pack(pop)

#if defined(__x86_64__)
static_assert(offsetof(THostBlock, Instance) == 5571);
static_assert(offsetof(THostBlock, HostWindow) == 5579);
static_assert(offsetof(THostBlock, BlockName) == 5587);
#elif defined(__i386__)
static_assert(offsetof(THostBlock, Instance) == 5571);
static_assert(offsetof(THostBlock, HostWindow) == 5579);
static_assert(offsetof(THostBlock, BlockName) == 5583);
#endif
static_assert(sizeof(THostBlock) == 8192);
static_assert(offsetof(THostIOInfo, InputCount) == 0);
static_assert(offsetof(THostIOInfo, OutputCount) == 1);
static_assert(offsetof(THostIOInfo, OutputNames) == 2052);
static_assert(sizeof(THostIOInfo) == 4102);
static_assert(offsetof(THostDialogEnable, Value4) == 4);
static_assert(offsetof(THostDialogEnable, Value8) == 8);
static_assert(offsetof(THostDialogEnable, Flag12) == 12);

// Byte offset of output k (k = 0, 1, ...) in the host's output array.
constexpr size_t OutputSlotOffset(size_t k) {
    return kOutputSlotSize * k;
}

// The entry points, by the names the host looks up.
extern "C" {
using IsUserDLL32Fn = void(KORVA_BLOCK_CALL*)();
using GetDLLNameFn = const char*(KORVA_BLOCK_CALL*)();
using InitUserDLLFn = void(KORVA_BLOCK_CALL*)(THostBlock* block);
using DisposeUserDLLFn = void(KORVA_BLOCK_CALL*)(THostBlock* block);
using GetParameterStructFn = void(KORVA_BLOCK_CALL*)(THostParamInfo* info);
using GetDialogEnableStructFn = void(KORVA_BLOCK_CALL*)(THostDialogEnable* info, IgnoredArg);
using GetNumberOfInputsOutputsFn = void(KORVA_BLOCK_CALL*)(THostIOInfo* io);
using GetNumberOfInputsOutputs2Fn = void(KORVA_BLOCK_CALL*)(THostIOInfo* io, IgnoredArg,
                                                            void* instance, IgnoredArg);
using CanSimulateDLLFn = int32_t(KORVA_BLOCK_CALL*)(THostBlock* block);
using CallParameterDialogDLLFn = void(KORVA_BLOCK_CALL*)(THostBlock* block, THostIOInfo* io);
using InitSimulationDLLFn = void(KORVA_BLOCK_CALL*)(THostBlock* block, void* inputs, void* outputs);
// The two time values are x87 80-bit extended numbers.
using SimulateDLL2Fn = void(KORVA_BLOCK_CALL*)(long double time1, long double time2,
                                               THostBlock* block, void* inputs, void* outputs);
using EndSimulationDLL2Fn = void(KORVA_BLOCK_CALL*)(THostBlock* block);
using WriteToFileFn = void(KORVA_BLOCK_CALL*)(HostFileHandle file, THostBlock* block);
using ReadFromFileFn = void(KORVA_BLOCK_CALL*)(HostFileHandle file, THostBlock* block);
}

// Every entry point name, in the order of the interface table.
constexpr const char* kEntryPointNames[] = {
    "IsUserDLL32",
    "GetDLLName",
    "InitUserDLL",
    "DisposeUserDLL",
    "GetParameterStruct",
    "GetDialogEnableStruct",
    "GetNumberOfInputsOutputs",
    "GetNumberOfInputsOutputs2",
    "CanSimulateDLL",
    "CallParameterDialogDLL",
    "InitSimulationDLL",
    "SimulateDLL2",
    "EndSimulationDLL2",
    "WriteToFile",
    "ReadFromFile",
};

}  // namespace korva::abi

// The entry points the simulation host looks up by name. Each one only translates the host's
// records and calls the block's internal functions; the library exports nothing else (see
// exports.map).
#include "host/block_abi.h"
#include "plugin/block.h"
#include "plugin/parameter_dialog.h"
#include "plugin/persistence.h"
#include "plugin/simulation.h"

using namespace korva::abi;

#define VIRELON_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The library's own settings (its number format with the full stop, the component library) are
// set up before the body of the first entry point runs, and without touching the host process's
// locale. Not in a load-time constructor: the component library's globals are constructed at load
// time too, in an order no constructor can rely on. As a function-local static the settings are
// also released at unload before those globals go.
struct LibraryLifetime {
    LibraryLifetime() { virelon::StartLibrary(); }
    ~LibraryLifetime() { virelon::EndLibrary(); }
};
void EnsureStarted() {
    static LibraryLifetime lifetime;
}

uint8_t* Bytes(void* outputs) {
    return static_cast<uint8_t*>(outputs);
}

}  // namespace

// Marks the library as a 32-bit user block library; does nothing.
VIRELON_EXPORT void KORVA_BLOCK_CALL IsUserDLL32() {
    EnsureStarted();
}

VIRELON_EXPORT const char* KORVA_BLOCK_CALL GetDLLName() {
    EnsureStarted();
    return virelon::BlockLibraryName();
}

VIRELON_EXPORT void KORVA_BLOCK_CALL InitUserDLL(THostBlock* Block) {
    EnsureStarted();
    if (!Block)
        return;
    virelon::SetOwnerWindow(Block->HostWindow);
    Block->Instance = virelon::CreateInstance();
}

VIRELON_EXPORT void KORVA_BLOCK_CALL DisposeUserDLL(THostBlock* Block) {
    EnsureStarted();
    if (!Block)
        return;
    virelon::DisposeInstance(virelon::InstanceOf(Block));
    virelon::SetOwnerWindow(0);
}

VIRELON_EXPORT void KORVA_BLOCK_CALL GetParameterStruct(THostParamInfo* P) {
    EnsureStarted();
    if (!P)
        return;
    P->Flags[0] = P->Flags[1] = P->Flags[2] = 0;
}

VIRELON_EXPORT void KORVA_BLOCK_CALL GetDialogEnableStruct(THostDialogEnable* P, IgnoredArg) {
    EnsureStarted();
    if (!P)
        return;
    P->Value8 = 0;
    P->Value4 = 0;
    P->Flag12 = 0;
}

VIRELON_EXPORT void KORVA_BLOCK_CALL GetNumberOfInputsOutputs(THostIOInfo* IOInfo) {
    EnsureStarted();
    if (!IOInfo)
        return;
    IOInfo->InputCount = 0;
    IOInfo->OutputCount = 0;
}

VIRELON_EXPORT void KORVA_BLOCK_CALL GetNumberOfInputsOutputs2(THostIOInfo* IOInfo, IgnoredArg,
                                                               void* Instance, IgnoredArg) {
    EnsureStarted();
    if (!IOInfo || !Instance)
        return;
    virelon::DescribeOutputs(*static_cast<virelon::TVirelonData*>(Instance), *IOInfo);
}

VIRELON_EXPORT int32_t KORVA_BLOCK_CALL CanSimulateDLL(THostBlock* Block) {
    EnsureStarted();
    const virelon::TVirelonData* data = virelon::InstanceOf(Block);
    return data ? virelon::CanSimulate(*data) : 0;
}

VIRELON_EXPORT void KORVA_BLOCK_CALL CallParameterDialogDLL(THostBlock* Block,
                                                            THostIOInfo* IOInfo) {
    EnsureStarted();
    if (!virelon::InstanceOf(Block))
        return;
    virelon::ShowParameterDialog(*Block, IOInfo);
}

VIRELON_EXPORT void KORVA_BLOCK_CALL InitSimulationDLL(THostBlock* Block, void* /*Inputs*/,
                                                       void* Outputs) {
    EnsureStarted();
    if (virelon::TVirelonData* data = virelon::InstanceOf(Block))
        virelon::InitSimulation(*data, Block->BlockName, Bytes(Outputs));
}

VIRELON_EXPORT void KORVA_BLOCK_CALL SimulateDLL2(long double Time1, long double Time2,
                                                  THostBlock* Block, void* /*Inputs*/,
                                                  void* Outputs) {
    EnsureStarted();
    if (virelon::TVirelonData* data = virelon::InstanceOf(Block))
        virelon::Simulate(*data, Time1, Time2, Bytes(Outputs));
}

VIRELON_EXPORT void KORVA_BLOCK_CALL EndSimulationDLL2(THostBlock* Block) {
    EnsureStarted();
    if (virelon::TVirelonData* data = virelon::InstanceOf(Block))
        virelon::EndSimulation(*data);
}

VIRELON_EXPORT void KORVA_BLOCK_CALL WriteToFile(HostFileHandle File, THostBlock* Block) {
    EnsureStarted();
    if (const virelon::TVirelonData* data = virelon::InstanceOf(Block))
        virelon::WriteToFile(File & 0xFFFF, *data);
}

VIRELON_EXPORT void KORVA_BLOCK_CALL ReadFromFile(HostFileHandle File, THostBlock* Block) {
    EnsureStarted();
    if (virelon::TVirelonData* data = virelon::InstanceOf(Block))
        virelon::ReadFromFile(File & 0xFFFF, *data);
}

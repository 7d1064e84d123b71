// The address spaces of the two server classes.
#include "servers/opcsim/address_space.h"

namespace opcsim {
namespace {

ItemDef SignalItem(std::u16string id, VARTYPE type, Signal signal, SignalShape shape) {
    ItemDef item;
    item.id = std::move(id);
    item.type = type;
    item.access = OPC_READABLE;
    item.signal = signal;
    item.shape = shape;
    return item;
}

ItemDef Register(std::u16string id, VARTYPE type, DWORD access, Value initial) {
    ItemDef item;
    item.id = std::move(id);
    item.type = type;
    item.access = access;
    item.initial = std::move(initial);
    return item;
}

ItemDef SpecialItem(std::u16string id, Special special) {
    const VARTYPE type = special == Special::ServerState ? VT_I4 : VT_BSTR;
    ItemDef item = Register(std::move(id), type, OPC_READABLE | OPC_WRITEABLE, ZeroValue(type));
    item.special = special;
    return item;
}

constexpr DWORD kReadWrite = OPC_READABLE | OPC_WRITEABLE;

std::shared_ptr<AddressSpace> BuildHierarchical() {
    auto space = std::make_shared<AddressSpace>(OPC_NS_HIERARCHIAL);
    space->Add(SignalItem(u"Signals.Sine", VT_R8, Signal::Sine, {10.0, 1.0, 0.0}));
    space->Add(SignalItem(u"Signals.Ramp", VT_R8, Signal::Ramp, {10.0, 100.0, 0.0}));
    space->Add(SignalItem(u"Signals.Square", VT_R8, Signal::Square, {2.0, 1.0, 0.0}));
    space->Add(SignalItem(u"Signals.Random", VT_R8, Signal::Random, {1.0, 1.0, 0.0}));
    space->Add(SignalItem(u"Signals.Counter", VT_I4, Signal::Counter, {0.1, 1.0, 0.0}));
    space->Add(SignalItem(u"Signals.Toggle", VT_BOOL, Signal::Toggle, {2.0, 1.0, 0.0}));
    space->Add(Register(u"Signals.Constant", VT_R8, OPC_READABLE, NumberValue(42.5, VT_R8)));

    static constexpr struct {
        const char16_t* id;
        VARTYPE type;
    } kRegisters[] = {
        {u"Registers.I1", VT_I1},     {u"Registers.UI1", VT_UI1},   {u"Registers.I2", VT_I2},
        {u"Registers.UI2", VT_UI2},   {u"Registers.I4", VT_I4},     {u"Registers.UI4", VT_UI4},
        {u"Registers.I8", VT_I8},     {u"Registers.UI8", VT_UI8},   {u"Registers.INT", VT_INT},
        {u"Registers.UINT", VT_UINT}, {u"Registers.R4", VT_R4},     {u"Registers.R8", VT_R8},
        {u"Registers.BOOL", VT_BOOL}, {u"Registers.BSTR", VT_BSTR}, {u"Registers.DATE", VT_DATE},
        {u"Registers.CY", VT_CY},
    };
    for (const auto& r : kRegisters)
        space->Add(Register(r.id, r.type, kReadWrite, ZeroValue(r.type)));
    space->Add(Register(u"Registers.ReadOnly", VT_I4, OPC_READABLE, NumberValue(7, VT_I4)));

    space->Add(SpecialItem(u"Server.State", Special::ServerState));
    space->Add(SpecialItem(u"Server.Shutdown", Special::Shutdown));
    return space;
}

std::shared_ptr<AddressSpace> BuildFlat() {
    auto space = std::make_shared<AddressSpace>(OPC_NS_FLAT);
    space->Add(SignalItem(u"Plant.Line1.Temperature", VT_R8, Signal::Sine, {60.0, 5.0, 20.0}));
    space->Add(SignalItem(u"Plant.Line1.Pressure", VT_R8, Signal::Random, {1.0, 0.2, 1.0}));
    space->Add(SignalItem(u"Plant.Line2.Temperature", VT_R8, Signal::Sine, {45.0, 3.0, 60.0}));
    space->Add(Register(u"Plant.Line2.Pressure", VT_R8, kReadWrite, NumberValue(2.5, VT_R8)));
    space->Add(Register(u"Plant.Mixer.Speed", VT_R8, kReadWrite, ZeroValue(VT_R8)));
    space->Add(Register(u"Plant.Mixer.Running", VT_BOOL, kReadWrite, ZeroValue(VT_BOOL)));
    space->Add(Register(u"Tag.", VT_I4, kReadWrite, ZeroValue(VT_I4)));
    space->Add(SpecialItem(u"Server.State", Special::ServerState));
    space->Add(SpecialItem(u"Server.Shutdown", Special::Shutdown));
    return space;
}

}  // namespace

SharedAddressSpace DefaultHierarchicalSpace() {
    static const SharedAddressSpace space = BuildHierarchical();
    return space;
}

SharedAddressSpace DefaultFlatSpace() {
    static const SharedAddressSpace space = BuildFlat();
    return space;
}

}  // namespace opcsim

// Texts of the server's result codes, as GetErrorString gives them.
#include "platform/text/text.h"
#include "servers/opcsim/server.h"
#include "servers/opcsim/task_text.h"

namespace opcsim {
namespace {

struct ErrorEntry {
    HRESULT code;
    const char16_t* text;
};

constexpr ErrorEntry kOpcTexts[] = {
    {OPC_E_INVALIDHANDLE, u"The handle is not valid."},
    {OPC_E_BADTYPE, u"The value cannot be converted between the requested and the item's type."},
    {OPC_E_PUBLIC, u"The operation is not allowed on a public group."},
    {OPC_E_BADRIGHTS, u"The item's access rights do not allow the operation."},
    {OPC_E_UNKNOWNITEMID, u"The item is not in the server's address space."},
    {OPC_E_INVALIDITEMID, u"The item identifier is not well-formed."},
    {OPC_E_INVALIDFILTER, u"The filter is not valid."},
    {OPC_E_UNKNOWNPATH, u"The access path is not known to the server."},
    {OPC_E_RANGE, u"The value is out of range."},
    {OPC_E_DUPLICATENAME, u"The name is already in use."},
    {OPC_S_UNSUPPORTEDRATE, u"The server uses the closest rate it supports."},
    {OPC_S_CLAMP, u"The value was accepted, but the output was clamped."},
    {OPC_S_INUSE, u"The object is still referenced; it goes when its last reference is released."},
    {OPC_E_INVALIDCONFIGFILE, u"The server's configuration file is not valid."},
    {OPC_E_NOTFOUND, u"The requested object was not found."},
};

}  // namespace

HRESULT ErrorText(HRESULT error, LPWSTR* text) {
    if (!text)
        return E_INVALIDARG;
    *text = nullptr;
    std::u16string found;
    for (const ErrorEntry& e : kOpcTexts)
        if (e.code == error)
            found = e.text;
    if (found.empty()) {
        // The platform knows the common COM codes; it names an unknown one by its number.
        if (HResultName(error).rfind("0x", 0) == 0)
            return E_INVALIDARG;
        found = Utf8ToUtf16(HResultText(error));
    }
    *text = TaskMemString(found);
    return *text ? S_OK : E_OUTOFMEMORY;
}

}  // namespace opcsim

#include "testclient/opc_connection.h"

#include <atomic>

#include "components/ui/message_box.h"
#include "testclient/dravik_main_window.h"

namespace {

uint64_t NextConnectionId() {
    static std::atomic<uint64_t> next{0};
    return ++next;
}

}  // namespace

TOPCConnection::TOPCConnection(TForm1* window)
    : Id(NextConnectionId()), ShutdownSink(new TOPCShutdown(window, Id)) {}

TOPCConnection::~TOPCConnection() {
    ItemIDs.clear();
    ItemHandles.FreeAll();
    ItemValues.clear();
    ItemAccepted.clear();
    Group = nullptr;
    OPCServer = nullptr;
    ShutdownSink = nullptr;
}

OPCHANDLE TOPCConnection::ItemHandle(int i) const {
    return static_cast<OPCHANDLE>(ItemHandles.Items(i)->Value);
}

void TOPCConnection::AppendItem(const std::string& itemId, OPCHANDLE handle, bool accepted) {
    ItemIDs.push_back(itemId);
    ItemHandles.Add(new TInteger(static_cast<int32_t>(handle)));
    ItemValues.push_back(0.0);
    ItemAccepted.push_back(accepted);
}

TOPCShutdown::TOPCShutdown(TForm1* window, uint64_t connectionId)
    : window_(window), connectionId_(connectionId), apartment_(CoCurrentApartment()) {}

HRESULT TOPCShutdown::ShutdownRequest(LPCWSTR) {
    // Ending the connection releases the connection's reference to this object.
    ComPtr<TOPCShutdown> self(this);
    if (CoCurrentApartment() != apartment_) {
        CoPostToApartment(apartment_, [self] { self->ShutdownRequest(nullptr); });
        return S_OK;
    }
    TForm1* window = window_.data();
    if (!window)
        return S_OK;
    if (window->Connected && window->Connection && window->Connection->Id != connectionId_)
        return S_OK;

    window->LogUserDisconnect = false;
    window->Disconnect();
    window->LogUserDisconnect = true;
    SystemBeep();
    window->setWindowTitle(QString::fromLatin1(kCaptionShutdown));
    window->AppendStatusLine(QStringLiteral("Server requested disconnect at ") +
                             TForm1::Timestamp());
    return S_OK;
}

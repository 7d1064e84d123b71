#include "plugin/virelon_data.h"

#include "plugin/client_thread.h"

namespace virelon {

TVirelonData::TVirelonData() {
    Values.Fill(0.0L);
}

TVirelonData::~TVirelonData() {
    Thread.reset();
}

}  // namespace virelon

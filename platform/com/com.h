// The COM stand-in in one include.
#pragma once

#include "platform/com/connection_point.h"
#include "platform/com/enum_guid.h"
#include "platform/com/enum_string.h"
#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/com/interfaces.h"
#include "platform/com/runtime.h"
#include "platform/com/unknown.h"
#include "platform/com/variant.h"

// One JSON object per line for the receiver status, for plotting and tests.
#pragma once

#include "CWRx.h"

#include <string>

// {"t":seconds,"level":...,...} with the fields of CW_RX_STATUS in order,
// no trailing newline. Non-finite numbers are written as null.
std::string decode_status_json(double seconds, const CW_RX_STATUS& status);

// An error carried between the window's file and network operations: the
// domain, code and description an alert and the log pane show.
#pragma once

#include <string>

constexpr const char* kCWPOSIXErrorDomain = "NSPOSIXErrorDomain";
constexpr const char* kCWCocoaErrorDomain = "NSCocoaErrorDomain";
constexpr long kCWFileWriteUnknownError = 512;

struct CW_OPERATION_ERROR {
    std::string domain;
    long code = 0;
    std::string description;
};

// Fills *error when the caller asked for it; returns false so failure paths
// read "return cw_operation_failed(...)".
inline bool cw_operation_failed(CW_OPERATION_ERROR* error, const char* domain, long code,
                                const std::string& description)
{
    if (error)
        *error = CW_OPERATION_ERROR{domain, code, description};
    return false;
}

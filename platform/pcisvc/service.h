// The PCI driver service as a program sees it: open the device by name, issue
// device-control requests with one record each, close. Thread-safe; a wait
// blocked on one handle holds up no request on another.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/pcisvc/backend.h"
#include "platform/pcisvc/export.h"

namespace pcisvc {

using Handle = std::int64_t;
inline constexpr Handle kInvalidHandle = -1;

// Opens the service; kInvalidHandle when the name is not the service's or the
// service is not available.
PCISVC_EXPORT Handle openDevice(const char* name);

// Issues one request. Returns false when the handle is not open, the status
// pointer is null or the record is missing or of the wrong size for the code;
// otherwise true with the request's status in *status (kStatusOk on success).
PCISVC_EXPORT bool deviceControl(Handle handle, std::uint32_t code, void* record, std::size_t size,
                                 std::uint32_t* status);

// Closes a handle and releases the card registrations made through it.
PCISVC_EXPORT void closeDevice(Handle handle);

// The backend requests reach; the virtual bus unless replaced. Not owned.
PCISVC_EXPORT void setBackend(Backend* backend);
PCISVC_EXPORT Backend& backend();

}  // namespace pcisvc

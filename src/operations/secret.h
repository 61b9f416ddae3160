// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Passwords live in memory only while a request needs them: working copies are overwritten
// with zeros once the request has been sent (or refused), in a way the compiler may not drop.

#include <cstddef>
#include <string>

#include "protocol/device_record.h"

namespace sd {

// Overwrites `size` bytes at `data` with zeros.
void WipeBytes(void* data, std::size_t size);

// Overwrites the characters of `text` (its whole capacity) with zeros and empties it.
void WipeString(std::string& text);

// Overwrites the two password fields of a working record.
void WipeRecordSecrets(DeviceRecord& record);

}  // namespace sd

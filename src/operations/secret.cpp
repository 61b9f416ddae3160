// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/secret.h"

#include <cstring>

namespace sd {

void WipeBytes(void* data, std::size_t size) {
  if (data == nullptr || size == 0) return;
  // Writes through a volatile pointer are observable behaviour: the compiler keeps them even
  // though the bytes are never read again.
  volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) p[i] = 0;
}

void WipeString(std::string& text) {
  text.resize(text.capacity());
  WipeBytes(text.data(), text.size());
  text.clear();
}

void WipeRecordSecrets(DeviceRecord& record) {
  WipeBytes(record.password, sizeof record.password);
  WipeBytes(record.new_password, sizeof record.new_password);
}

}  // namespace sd

// SPDX-License-Identifier: GPL-3.0-or-later
// ecfseal: turns a plain settings text into a scrambled, sealed define.ecf.
//   ecfseal PLAIN.txt OUT.ecf
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "settings/settings_file.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: ecfseal PLAIN.txt OUT.ecf\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "ecfseal: cannot read %s\n", argv[1]);
    return 1;
  }
  const std::string plain((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto sealed = sd::MakeSealedSettings(plain);
  if (sealed.size() > 256) {
    std::fprintf(stderr, "ecfseal: the sealed file would be %zu bytes; the program reads at most 256\n",
                 sealed.size());
    return 1;
  }
  if (!sd::ParseSettingsFile(sealed)) {
    std::fprintf(stderr, "ecfseal: %s is not a complete settings text\n", argv[1]);
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(sealed.data()), static_cast<std::streamsize>(sealed.size()));
  if (!out) {
    std::fprintf(stderr, "ecfseal: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}

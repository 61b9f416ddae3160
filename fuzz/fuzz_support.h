// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every fuzz target shares: a private settings folder for the files the code under test
// writes (syslog.log, monitor.cfg, define.ecf), made once per process and removed at exit. It
// lies in /dev/shm when there is one, so the fsync of every settings rewrite costs no disk time
// ($SWITCHDESK_FUZZ_TMPDIR chooses another place).

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

namespace sd::fuzz {

class FuzzConfigDir {
 public:
  static FuzzConfigDir& Instance() {
    static FuzzConfigDir dir;
    return dir;
  }
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

  void Write(const std::string& name, std::span<const std::uint8_t> bytes) const {
    std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  // Keeps a log the target appends to from filling the disk over millions of runs.
  void Limit(const std::string& name, std::uintmax_t max_bytes) const {
    std::error_code ec;
    if (std::filesystem::file_size(File(name), ec) > max_bytes && !ec) std::filesystem::remove(File(name), ec);
  }

 private:
  FuzzConfigDir() {
    std::filesystem::path base = std::filesystem::temp_directory_path();
    std::error_code ec;
    if (const char* chosen = std::getenv("SWITCHDESK_FUZZ_TMPDIR"); chosen != nullptr && *chosen != 0) {
      base = chosen;
    } else if (std::filesystem::is_directory("/dev/shm", ec)) {
      base = "/dev/shm";
    }
    std::string pattern = (base / "switchdesk-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
    ::setenv("SWITCHDESK_CONFIG_DIR", path_.c_str(), 1);
  }
  ~FuzzConfigDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string path_;
};

}  // namespace sd::fuzz

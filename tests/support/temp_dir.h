// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh folder for one test, used as the settings folder, removed afterwards.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace sd::test {

class TempConfigDir {
 public:
  TempConfigDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "switchdesk-test-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
    ::setenv("SWITCHDESK_CONFIG_DIR", path_.c_str(), 1);
  }
  ~TempConfigDir() {
    ::unsetenv("SWITCHDESK_CONFIG_DIR");
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

  void Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::vector<std::uint8_t> Read(const std::string& name) const {
    std::ifstream in(File(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  std::string path_;
};

}  // namespace sd::test

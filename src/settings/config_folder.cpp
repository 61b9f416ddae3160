// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/config_folder.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#ifndef SWITCHDESK_DATA_FROM_BIN
#define SWITCHDESK_DATA_FROM_BIN "../share/switchdesk"
#endif
#ifndef SWITCHDESK_INSTALLED_DATA_DIR
#define SWITCHDESK_INSTALLED_DATA_DIR "/usr/local/share/switchdesk"
#endif

namespace sd {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFolderName = "switchdesk";
constexpr std::size_t kDefaultSettingsLimit = 64 * 1024;

std::optional<std::string> NonEmptyVariable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

std::optional<std::string> AccountHome() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return std::nullopt;
  }
  if (found->pw_dir == nullptr || *found->pw_dir == '\0') return std::nullopt;
  return std::string(found->pw_dir);
}

// The choice without the override, made once per process, with the folder of the program.
struct ProcessFolder {
  ConfigFolderChoice choice;
  std::string executable_folder;
};

const ProcessFolder& ProcessFolderOnce() {
  static const ProcessFolder folder = [] {
    ConfigFolderInputs inputs = ConfigFolderInputsOfProcess();
    inputs.override_folder.reset();
    return ProcessFolder{ChooseConfigFolder(inputs), inputs.executable_folder.value_or("")};
  }();
  return folder;
}

// Creates the folder and those of its parents that are missing, each readable by the owner
// only. True when the folder is there at the end.
bool MakeFolders(const fs::path& folder) {
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return true;
  std::vector<fs::path> missing;
  for (fs::path p = folder; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
    missing.push_back(p);
    if (p == p.parent_path()) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return fs::is_directory(folder, ec);
}

bool WriteAll(int fd, const std::vector<char>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

ConfigFolderInputs ConfigFolderInputsOfProcess() {
  ConfigFolderInputs inputs;
  inputs.override_folder = NonEmptyVariable("SWITCHDESK_CONFIG_DIR");
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && exe.has_parent_path()) inputs.executable_folder = exe.parent_path().string();
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME")) inputs.xdg_config_home = xdg;
  inputs.home = NonEmptyVariable("HOME");
  if (!inputs.home) inputs.home = AccountHome();
  return inputs;
}

bool FolderTakesNewFiles(const std::string& folder) {
  // An unnamed file in the folder: nothing to clean up, even if the program dies here.
  int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::close(fd);
    return true;
  }
  // File systems without unnamed files: a named one, removed at once.
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return false;
  std::string probe = folder + "/.switchdesk-probe-XXXXXX";
  fd = ::mkstemp(probe.data());
  if (fd < 0) return false;
  ::unlink(probe.c_str());
  ::close(fd);
  return true;
}

ConfigFolderChoice ChooseConfigFolder(const ConfigFolderInputs& in) {
  if (in.override_folder && !in.override_folder->empty()) return {*in.override_folder, ConfigFolderKind::Override};
  if (in.executable_folder) {
    const std::string beside = (fs::path(*in.executable_folder) / "cfg").string();
    if (FolderTakesNewFiles(beside)) return {beside, ConfigFolderKind::BesideExecutable};
  }
  // XDG base directory rules: a relative $XDG_CONFIG_HOME is invalid and ignored.
  if (in.xdg_config_home && fs::path(*in.xdg_config_home).is_absolute()) {
    return {(fs::path(*in.xdg_config_home) / kFolderName).string(), ConfigFolderKind::PerUser};
  }
  if (in.home && !in.home->empty()) {
    return {(fs::path(*in.home) / ".config" / kFolderName).string(), ConfigFolderKind::PerUser};
  }
  // No home at all: cfg/ beside the program all the same, where the user is told what fails.
  if (in.executable_folder) {
    return {(fs::path(*in.executable_folder) / "cfg").string(), ConfigFolderKind::BesideExecutable};
  }
  return {"cfg", ConfigFolderKind::BesideExecutable};
}

std::string ConfigFolderPath() {
  if (auto override_folder = NonEmptyVariable("SWITCHDESK_CONFIG_DIR")) return *override_folder;
  return ProcessFolderOnce().choice.path;
}

ConfigFolderKind ConfigFolderPathKind() {
  if (NonEmptyVariable("SWITCHDESK_CONFIG_DIR")) return ConfigFolderKind::Override;
  return ProcessFolderOnce().choice.kind;
}

std::string DescribeConfigFolder() {
  const char* why = "";
  switch (ConfigFolderPathKind()) {
    case ConfigFolderKind::Override: why = "set by SWITCHDESK_CONFIG_DIR"; break;
    case ConfigFolderKind::BesideExecutable: why = "beside the program"; break;
    case ConfigFolderKind::PerUser: why = "per user"; break;
  }
  return "Settings folder: " + ConfigFolderPath() + " (" + why + ")";
}

std::string DefaultSettingsPath(const std::string& executable_folder) {
  std::vector<fs::path> candidates;
  if (!executable_folder.empty()) {
    candidates.push_back((fs::path(executable_folder) / SWITCHDESK_DATA_FROM_BIN / "define.ecf").lexically_normal());
  }
  candidates.push_back(fs::path(SWITCHDESK_INSTALLED_DATA_DIR) / "define.ecf");
  std::error_code ec;
  for (const fs::path& candidate : candidates) {
    if (fs::is_regular_file(candidate, ec)) return candidate.string();
  }
  return candidates.back().string();
}

bool SeedConfigFolder(const std::string& folder, const std::string& default_settings) {
  if (!MakeFolders(folder)) return false;
  const std::string target = folder + "/define.ecf";
  struct stat st {};
  if (::lstat(target.c_str(), &st) == 0) return true;

  std::ifstream in(default_settings, std::ios::binary);
  if (!in) return false;
  std::vector<char> bytes;
  char buf[512];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    bytes.insert(bytes.end(), buf, buf + in.gcount());
    if (bytes.size() > kDefaultSettingsLimit) return false;
  }
  // Complete under a temporary name first; linked into place only if no other start made one.
  std::string temp = folder + "/.define.ecf-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, 0644) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok && ::link(temp.c_str(), target.c_str()) != 0 && errno != EEXIST) ok = false;
  ::unlink(temp.c_str());
  return ok;
}

std::string DefaultSettingsPathOfProcess() { return DefaultSettingsPath(ProcessFolderOnce().executable_folder); }

bool SeedConfigFolderOfProcess() { return SeedConfigFolder(ConfigFolderPath(), DefaultSettingsPathOfProcess()); }

std::string PrepareConfigFolder() {
  if (auto override_folder = NonEmptyVariable("SWITCHDESK_CONFIG_DIR")) return *override_folder;
  const ProcessFolder& folder = ProcessFolderOnce();
  if (folder.choice.kind == ConfigFolderKind::PerUser) {
    SeedConfigFolder(folder.choice.path, DefaultSettingsPath(folder.executable_folder));
  }
  return folder.choice.path;
}

}  // namespace sd

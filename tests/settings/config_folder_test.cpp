// SPDX-License-Identifier: GPL-3.0-or-later
// Where the settings folder is: the override, a cfg/ beside the program that takes new files,
// else the per-user folder, and how the per-user folder is made on the first start.
#include "settings/config_folder.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace sd {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

std::vector<char> ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteText(const fs::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << text;
}

std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  return names;
}

// A folder laid out like an installation: ROOT/bin (the program's folder), ROOT/home. Open to
// every user, so that a child process of another user can look at it.
class ConfigFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "switchdesk-folder-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    ::chmod(root_.c_str(), 0755);
    fs::create_directories(Bin());
    fs::create_directories(Home());
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
    for (const auto& e : fs::recursive_directory_iterator(root_, ec)) {
      if (e.is_directory() && !e.is_symlink()) fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(root_, ec);
  }

  fs::path Bin() const { return root_ / "bin"; }
  fs::path Cfg() const { return Bin() / "cfg"; }
  fs::path Home() const { return root_ / "home"; }

  fs::path root_;
};

// Runs `f` as the account "nobody" when this process is root, else as this ordinary user, and
// returns what it wrote. Permission bits stop nobody, never root.
std::string AsOrdinaryUser(const std::function<std::string()>& f) {
  if (::geteuid() != 0) return f();
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return "pipe failed";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipe_fds[0]);
    if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
        ::setresuid(kNobody, kNobody, kNobody) != 0) {
      ::_exit(3);
    }
    const std::string out = f();
    const ssize_t n = ::write(pipe_fds[1], out.data(), out.size());
    ::_exit(n == static_cast<ssize_t>(out.size()) ? 0 : 4);
  }
  ::close(pipe_fds[1]);
  std::string out;
  char buf[512];
  ssize_t n;
  while ((n = ::read(pipe_fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
  ::close(pipe_fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
  return out;
}

std::string KindName(ConfigFolderKind kind) {
  switch (kind) {
    case ConfigFolderKind::Override: return "override";
    case ConfigFolderKind::BesideExecutable: return "beside";
    case ConfigFolderKind::PerUser: return "per-user";
  }
  return "?";
}

TEST_F(ConfigFolderTest, TheRuleOverrideThenCfgBesideTheProgramThatTakesFilesThenPerUser) {
  enum class Layout { None, Folder, File, DanglingLink, LinkToFolder, ReadOnlyFolder };
  struct Case {
    const char* name;
    Layout cfg;
    bool ordinary_user;  // as nobody when the test runs as root
    std::optional<std::string> override_folder;
    std::optional<std::string> xdg;  // relative to the temp root when not starting with '/'
    bool home;
    bool program_known;
    std::string expected_kind;
    std::string expected;  // relative to the temp root; "" for an absolute override
  };
  const Case cases[] = {
      {"writable cfg/: portable", Layout::Folder, false, {}, {}, true, true, "beside", "bin/cfg"},
      {"writable cfg/ as an ordinary user", Layout::Folder, true, {}, {}, true, true, "beside", "bin/cfg"},
      {"cfg/ through a link to a folder", Layout::LinkToFolder, false, {}, {}, true, true, "beside", "bin/cfg"},
      {"no cfg/: ~/.config", Layout::None, false, {}, {}, true, true, "per-user", "home/.config/switchdesk"},
      {"cfg is a file", Layout::File, false, {}, {}, true, true, "per-user", "home/.config/switchdesk"},
      {"cfg is a dangling link", Layout::DanglingLink, false, {}, {}, true, true, "per-user",
       "home/.config/switchdesk"},
      {"read-only cfg/ for an ordinary user", Layout::ReadOnlyFolder, true, {}, {}, true, true, "per-user",
       "home/.config/switchdesk"},
      {"no cfg/, XDG_CONFIG_HOME set", Layout::None, false, {}, "/xdg", true, true, "per-user", "xdg/switchdesk"},
      {"XDG_CONFIG_HOME without HOME", Layout::None, false, {}, "/xdg", false, true, "per-user", "xdg/switchdesk"},
      {"empty XDG_CONFIG_HOME is unset", Layout::None, false, {}, "", true, true, "per-user",
       "home/.config/switchdesk"},
      {"relative XDG_CONFIG_HOME is ignored", Layout::None, false, {}, "xdg", true, true, "per-user",
       "home/.config/switchdesk"},
      {"writable cfg/ wins over XDG_CONFIG_HOME", Layout::Folder, false, {}, "/xdg", true, true, "beside",
       "bin/cfg"},
      {"override wins over a writable cfg/", Layout::Folder, false, "/elsewhere", "/xdg", true, true, "override",
       ""},
      {"program folder unknown", Layout::None, false, {}, {}, true, false, "per-user", "home/.config/switchdesk"},
      {"no home at all: cfg/ beside the program", Layout::None, false, {}, {}, false, true, "beside", "bin/cfg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ec;
    fs::remove_all(Cfg(), ec);
    fs::remove_all(root_ / "target", ec);
    switch (c.cfg) {
      case Layout::None: break;
      case Layout::Folder: fs::create_directory(Cfg()); ::chmod(Cfg().c_str(), 0777); break;
      case Layout::File: WriteText(Cfg(), "not a folder"); break;
      case Layout::DanglingLink: fs::create_directory_symlink(root_ / "target", Cfg()); break;
      case Layout::LinkToFolder:
        fs::create_directory(root_ / "target");
        fs::create_directory_symlink(root_ / "target", Cfg());
        break;
      case Layout::ReadOnlyFolder: fs::create_directory(Cfg()); ::chmod(Cfg().c_str(), 0555); break;
    }
    ConfigFolderInputs in;
    in.override_folder = c.override_folder;
    if (c.program_known) in.executable_folder = Bin().string();
    if (c.xdg) in.xdg_config_home = c.xdg->rfind('/', 0) == 0 ? (root_ / c.xdg->substr(1)).string() : *c.xdg;
    if (c.home) in.home = Home().string();

    const auto choose = [in] {
      const ConfigFolderChoice choice = ChooseConfigFolder(in);
      return KindName(choice.kind) + " " + choice.path;
    };
    const std::string got = c.ordinary_user ? AsOrdinaryUser(choose) : choose();
    const std::string expected_path = c.expected.empty() ? *c.override_folder : (root_ / c.expected).string();
    EXPECT_EQ(got, c.expected_kind + " " + expected_path);
    // Choosing changes nothing on disk.
    EXPECT_FALSE(fs::exists(Home() / ".config"));
    EXPECT_FALSE(fs::exists(root_ / "xdg"));
    if (c.cfg == Layout::Folder) {
      EXPECT_TRUE(Entries(Cfg()).empty());
    }
  }
}

TEST_F(ConfigFolderTest, TakingNewFilesIsTriedAndLeavesNoTrace) {
  fs::create_directory(Cfg());
  EXPECT_TRUE(FolderTakesNewFiles(Cfg().string()));
  EXPECT_TRUE(Entries(Cfg()).empty());
  EXPECT_FALSE(FolderTakesNewFiles((Bin() / "missing").string()));
  WriteText(Bin() / "file", "x");
  EXPECT_FALSE(FolderTakesNewFiles((Bin() / "file").string()));
  ::chmod(Cfg().c_str(), 0555);
  EXPECT_EQ(AsOrdinaryUser([this] { return FolderTakesNewFiles(Cfg().string()) ? "yes" : "no"; }), "no");
  // Root is not stopped by permission bits, and the folder is then truly writable for it.
  if (::geteuid() == 0) {
    EXPECT_TRUE(FolderTakesNewFiles(Cfg().string()));
  }
}

TEST_F(ConfigFolderTest, SeedingMakesThePerUserFolderWithACopyOfTheDefaultOnce) {
  const fs::path shared = root_ / "share" / "switchdesk";
  fs::create_directories(shared);
  const std::string default_bytes = std::string("sealed\r\n\x01\xFF", 10);
  WriteText(shared / "define.ecf", default_bytes);
  const fs::path folder = Home() / ".config" / "switchdesk";

  ASSERT_TRUE(SeedConfigFolder(folder.string(), (shared / "define.ecf").string()));
  EXPECT_EQ(ReadBytes(folder / "define.ecf"), std::vector<char>(default_bytes.begin(), default_bytes.end()));
  EXPECT_EQ(Entries(folder), std::vector<std::string>{"define.ecf"}) << "no temporary file left";
  EXPECT_EQ(fs::status(Home() / ".config").permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(fs::status(folder / "define.ecf").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);

  // A settings file of the user's own is never replaced.
  WriteText(folder / "define.ecf", "mine");
  EXPECT_TRUE(SeedConfigFolder(folder.string(), (shared / "define.ecf").string()));
  EXPECT_EQ(ReadBytes(folder / "define.ecf"), (std::vector<char>{'m', 'i', 'n', 'e'}));
}

TEST_F(ConfigFolderTest, SeedingFailsWithoutADefaultOrWhereNoFolderCanBe) {
  const fs::path folder = Home() / "cfg-here";
  EXPECT_FALSE(SeedConfigFolder(folder.string(), (root_ / "no-such-default").string()));
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_TRUE(Entries(folder).empty());

  WriteText(root_ / "default", "d");
  WriteText(Home() / "a-file", "x");
  EXPECT_FALSE(SeedConfigFolder((Home() / "a-file" / "switchdesk").string(), (root_ / "default").string()));
}

TEST_F(ConfigFolderTest, TheDefaultSettingsAreTheInstalledOnesBesideBin) {
  const fs::path shared = root_ / "share" / "switchdesk";
  const std::string installed = DefaultSettingsPath(Bin().string());
  EXPECT_TRUE(fs::path(installed).is_absolute());
  EXPECT_EQ(fs::path(installed).filename(), "define.ecf");
  EXPECT_NE(installed, (shared / "define.ecf").string()) << "not there yet";
  fs::create_directories(shared);
  WriteText(shared / "define.ecf", "d");
  EXPECT_EQ(DefaultSettingsPath(Bin().string()), (shared / "define.ecf").string());
}

TEST(ConfigFolderPathTest, TheOverrideIsReadAtEachCall) {
  ::setenv("SWITCHDESK_CONFIG_DIR", "/one", 1);
  EXPECT_EQ(ConfigFolderPath(), "/one");
  EXPECT_EQ(ConfigFolderPathKind(), ConfigFolderKind::Override);
  EXPECT_EQ(DescribeConfigFolder(), "Settings folder: /one (set by SWITCHDESK_CONFIG_DIR)");
  ::setenv("SWITCHDESK_CONFIG_DIR", "/two", 1);
  EXPECT_EQ(ConfigFolderPath(), "/two");
  EXPECT_EQ(PrepareConfigFolder(), "/two");
  EXPECT_FALSE(fs::exists("/two")) << "an override is used as it is";
  ::unsetenv("SWITCHDESK_CONFIG_DIR");
}

}  // namespace
}  // namespace sd

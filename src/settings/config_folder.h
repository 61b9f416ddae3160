// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings folder, which holds define.ecf, monitor.cfg and syslog.log.
//
// 1. $SWITCHDESK_CONFIG_DIR, when set and not empty, whatever it names (tests, packaging, an
//    administrator's choice).
// 2. Else cfg/ beside the executable, when it is a folder that accepts new files: the portable
//    layout, a build folder or an unpacked copy of the program.
// 3. Else the per-user folder: $XDG_CONFIG_HOME/switchdesk when that variable holds an absolute
//    path, else ~/.config/switchdesk ($HOME, else the home folder of the account). An installed
//    program lands here; the folder is made on the first start from the installed default
//    define.ecf.
//
// The window and the terminal program both ask ConfigFolderPath(), and both call
// PrepareConfigFolder() once when they start.

#include <optional>
#include <string>

namespace sd {

enum class ConfigFolderKind { Override, BesideExecutable, PerUser };

struct ConfigFolderChoice {
  std::string path;
  ConfigFolderKind kind = ConfigFolderKind::PerUser;
};

// Everything the choice depends on, read from the process by ConfigFolderInputsOfProcess().
struct ConfigFolderInputs {
  std::optional<std::string> override_folder;   // $SWITCHDESK_CONFIG_DIR, when set and not empty
  std::optional<std::string> executable_folder;  // the folder of the running program
  std::optional<std::string> xdg_config_home;    // $XDG_CONFIG_HOME, as set
  std::optional<std::string> home;               // $HOME, else the account's home folder
};
ConfigFolderInputs ConfigFolderInputsOfProcess();

// The rule above, applied to the inputs. Looks at the file system (whether cfg/ takes new
// files) but changes nothing in it.
ConfigFolderChoice ChooseConfigFolder(const ConfigFolderInputs& inputs);

// True when a new file can be created in the folder right now: tried, not deduced from
// permission bits, so that it holds for root, read-only mounts and access-control lists alike.
// The file tried leaves no trace.
bool FolderTakesNewFiles(const std::string& folder);

// The settings folder of this process: the override as it is set at each call, else the choice
// made at the first call (it does not move while the program runs).
std::string ConfigFolderPath();
// Says which rule chose the folder, for the About box and `switchdesk-cli --version`.
ConfigFolderKind ConfigFolderPathKind();
// "Settings folder: PATH (how it was chosen)".
std::string DescribeConfigFolder();

// Where the installed default define.ecf is for a program in this folder: the package's data
// folder relative to the program (share/switchdesk beside bin/), else the data folder of the
// configured installation prefix.
std::string DefaultSettingsPath(const std::string& executable_folder);

// DefaultSettingsPath for the folder of the running program.
std::string DefaultSettingsPathOfProcess();

// Makes a per-user settings folder ready: creates it (and its parents, new ones readable by the
// owner only) and copies the default define.ecf into it when it has none. False when the
// folder could not be made or the copy failed; an existing define.ecf is never touched.
bool SeedConfigFolder(const std::string& folder, const std::string& default_settings);

// At start-up: seeds the settings folder when it is the per-user one; other folders are used
// as they are. Returns the folder.
std::string PrepareConfigFolder();
// When asked for (a service's own folder, set by $SWITCHDESK_CONFIG_DIR and empty at first):
// seeds the settings folder whichever rule chose it. False when it could not be made or seeded.
bool SeedConfigFolderOfProcess();

}  // namespace sd

// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/console_operation_dialogs.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "operations/secret.h"

namespace sd::cli {

namespace {

// Wipes the passwords of a form's input on every way out, also the moved-from strings.
template <typename... Strings>
struct Wipe {
  explicit Wipe(Strings&... s) : strings(s...) {}
  ~Wipe() {
    std::apply([](auto&... s) { (WipeString(s), ...); }, strings);
  }
  std::tuple<Strings&...> strings;
};

DialogOutcome Unfilled(const SecretReader& secrets) {
  return secrets.Stopped() ? DialogOutcome::kStopped : DialogOutcome::kCancelled;
}

}  // namespace

bool ConsoleConfigurationDialog::Refuse(std::string_view why) {
  err_ << "switchdesk-cli: " << why << '\n';
  err_.flush();
  outcome_ = DialogOutcome::kCancelled;
  return false;
}

void ConsoleConfigurationDialog::Run(ConfigurationForm& form) {
  outcome_ = DialogOutcome::kCancelled;
  // The radio buttons first: they decide whether the address controls can be typed into.
  if (fields_.dhcp) {
    if (!form.View().dhcp_radios_enabled) {
      Refuse("this switch does not report its DHCP mode, so --dhcp cannot change it");
      return;
    }
    if (*fields_.dhcp) {
      form.OnDhcpEnable();
    } else {
      form.OnDhcpDisable();
    }
  }
  const ConfigurationView& view = form.View();
  if ((fields_.ip || fields_.subnet_mask || fields_.gateway) && !view.addresses_enabled) {
    Refuse("--ip, --netmask and --gateway cannot be typed while DHCP is enabled (add --dhcp off)");
    return;
  }
  if (fields_.group_interval && !view.group_interval_enabled) {
    Refuse(view.group_interval_visible ? "this switch does not report a group interval to change"
                                       : "the group interval features are off in define.ecf");
    return;
  }

  ConfigurationInput input;
  input.system_name = fields_.system_name.value_or(view.system_name);
  input.location = fields_.location.value_or(view.location);
  // An empty address control reads as 0.0.0.0.
  input.ip = fields_.ip.value_or(view.ip);
  input.subnet_mask = fields_.subnet_mask.value_or(view.subnet_mask.value_or(0));
  input.gateway = fields_.gateway.value_or(view.gateway.value_or(0));
  input.trap_ip = fields_.trap_ip.value_or(view.trap_ip.value_or(0));
  input.group_interval_text = fields_.group_interval.value_or(view.group_interval_text);

  auto password = secrets_.Read(password_, "Password: ");
  if (!password) {
    outcome_ = Unfilled(secrets_);
    return;
  }
  input.password = std::move(*password);
  const Wipe wipe(*password, input.password);
  outcome_ = form.OnSet(std::move(input)) ? DialogOutcome::kSent : DialogOutcome::kCancelled;
}

void ConsoleChangePasswordDialog::Run(ChangePasswordForm& form) {
  outcome_ = DialogOutcome::kCancelled;
  PasswordChangeInput input;
  const Wipe wipe(input.original, input.new_password, input.confirmation);
  auto take = [&](const SecretSource& source, std::string_view prompt, std::string& into) {
    auto secret = secrets_.Read(source, prompt);
    if (!secret) return false;
    into = std::move(*secret);
    WipeString(*secret);
    return true;
  };
  if (!take(original_, "Original password: ", input.original) ||
      !take(new_password_, "New password: ", input.new_password)) {
    outcome_ = Unfilled(secrets_);
    return;
  }
  if (new_password_.kind == SecretSource::Kind::Prompt) {
    if (!take(new_password_, "Confirm password: ", input.confirmation)) {
      outcome_ = Unfilled(secrets_);
      return;
    }
  } else {
    input.confirmation = input.new_password;
  }
  outcome_ = form.OnSet(std::move(input)) ? DialogOutcome::kSent : DialogOutcome::kCancelled;
}

void ConsoleDhcpRefreshDialog::Run(DhcpRefreshForm& form) {
  outcome_ = DialogOutcome::kCancelled;
  auto password = secrets_.Read(password_, "Password: ");
  if (!password) {
    outcome_ = Unfilled(secrets_);
    return;
  }
  std::string typed = std::move(*password);
  const Wipe wipe(*password, typed);
  outcome_ = form.OnApply(std::move(typed)) ? DialogOutcome::kSent : DialogOutcome::kCancelled;
}

std::string ConsoleUpgradeView::Bar(Progress p) {
  constexpr long kCells = 30;
  const long size = p.size > 0 ? p.size : 1;
  const long sent = p.size > 0 ? std::min(p.sent, p.size) : 1;
  const long filled = std::clamp(sent * kCells / size, 0L, kCells);
  const long percent = sent * 100 / size;
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "] %3ld%%  %ld/%ld bytes", percent, p.sent, p.size);
  // Appended into one string: GCC 12 at -O3 reports a false -Wrestrict inside operator+ on
  // "[" + std::string(...).
  std::string bar = "[";
  bar.append(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kCells - filled), ' ');
  bar += numbers;
  return bar;
}

void ConsoleUpgradeView::EndBar() {
  if (!bar_drawn_) return;
  out_ << '\n';
  bar_drawn_ = false;
}

void ConsoleUpgradeView::ShowUpgradeState(std::string_view text) {
  constexpr std::string_view kUpgrading = "Upgrading...";
  last_state_ = std::string(text);
  if (text.starts_with(kUpgrading)) {
    const Progress p = progress_ ? progress_() : Progress{};
    if (terminal_) {
      out_ << '\r' << Bar(p);
      bar_drawn_ = true;
    } else {
      const long tenths = p.size > 0 ? p.sent * 10 / p.size : 0;
      if (tenths == shown_tenths_) return;
      shown_tenths_ = tenths;
      out_ << text << '\n';
    }
    out_.flush();
    return;
  }
  // A blank text only clears the box.
  if (text.find_first_not_of(' ') == std::string_view::npos) return;
  if (terminal_ && text.starts_with("Complete...")) {
    const Progress p = progress_ ? progress_() : Progress{};
    out_ << '\r' << Bar(p);
    bar_drawn_ = true;
  }
  EndBar();
  out_ << text << '\n';
  out_.flush();
  shown_tenths_ = -1;
}

void ConsoleUpgradeView::StartRebootWatch() {
  EndBar();
  out_ << "Waiting for the switch to restart...\n";
  out_.flush();
  if (start_reboot_watch_) start_reboot_watch_();
}

}  // namespace sd::cli

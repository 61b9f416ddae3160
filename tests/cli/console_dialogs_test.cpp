// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/console_dialogs.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <sstream>

#include "cli/stop_signals.h"
#include "support/recording_messages.h"
#include "support/temp_dir.h"

namespace sd::cli {
namespace {

struct Terminal {
  explicit Terminal(std::string typed, bool interactive = true) : in(std::move(typed)), console{in, out, err, interactive} {}
  std::istringstream in;
  std::ostringstream out, err;
  Console console;
};

TEST(ConsoleMessagesTest, ABoxIsTitleAndTextOnStandardErrorCountedByIcon) {
  std::ostringstream err;
  ConsoleMessages m(err);
  m.ShowMessage("Invalid IP address.", " Error", MessageIcon::Error);
  m.Warning("Duplicate IP address in Monitor List.");
  m.Plain("Define.ecf changed.");
  m.Error("Please check your network connection.\nUtility will close.");
  EXPECT_EQ(err.str(),
            " Error: Invalid IP address.\n"
            "Warning: Duplicate IP address in Monitor List.\n"
            "Switchdesk: Define.ecf changed.\n"
            "Error: Please check your network connection.\nUtility will close.\n");
  EXPECT_EQ(m.Errors(), 2);
  EXPECT_EQ(m.Warnings(), 1);
}

// On the journal's stream each line of an error or a warning carries its priority; other boxes
// keep the stream's own.
TEST(ConsoleMessagesTest, OnTheJournalErrorsAndWarningsCarryTheirPriorityOnEachLine) {
  std::ostringstream err;
  ConsoleMessages m(err, true);
  m.Error("Please check your network connection.\nUtility will close.");
  m.Warning("Resend failed.");
  m.Plain("Define.ecf changed.");
  EXPECT_EQ(err.str(),
            "<3>Error: Please check your network connection.\n<3>Utility will close.\n"
            "<4>Warning: Resend failed.\n"
            "Switchdesk: Define.ecf changed.\n");
  EXPECT_EQ(m.Errors(), 1);
  EXPECT_EQ(m.Warnings(), 1);
}

TEST(ConsoleQuestionsTest, OkCancelAtTheTerminalByYesOrNotAtAll) {
  struct Case {
    std::string typed;
    bool interactive;
    bool assume_ok;
    bool answer;
    std::string shown;
  };
  const std::string prompt = "Warning: Delete entry? [OK/Cancel] ";
  const Case cases[] = {
      {"ok\n", true, false, true, prompt},
      {" Yes \n", true, false, true, prompt},
      {"y\n", true, false, true, prompt},
      {"O\n", true, false, true, prompt},
      {"cancel\n", true, false, false, prompt},
      {"\n", true, false, false, prompt},
      {"", true, false, false, prompt},  // the input ended
      {"ok\n", false, false, false,
       "Warning: Delete entry?\nCancel: there is no terminal to answer at; --yes answers OK.\n"},
      {"", false, true, true, ""},
  };
  for (const Case& c : cases) {
    Terminal t(c.typed, c.interactive);
    ConsoleQuestions q(t.console, c.assume_ok);
    EXPECT_EQ(q.AskOkCancel("Delete entry?", "Warning", MessageIcon::Warning), c.answer) << c.typed;
    EXPECT_EQ(t.err.str(), c.shown) << c.typed;
  }
}

TEST(ArgumentRemoteIpDialogTest, AppliesTheArgumentOnceAndEndsCancelledWhenItIsRefused) {
  ArgumentRemoteIpDialog dialog;
  std::vector<std::uint32_t> applied;
  EXPECT_FALSE(dialog.Run([&](std::uint32_t a) { applied.push_back(a); return true; }));
  dialog.SetAddress(0x0A000005);
  EXPECT_TRUE(dialog.Run([&](std::uint32_t a) { applied.push_back(a); return true; }));
  EXPECT_FALSE(dialog.Run([&](std::uint32_t a) { applied.push_back(a); return false; }));
  EXPECT_EQ(applied, (std::vector<std::uint32_t>{0x0A000005, 0x0A000005}));
}

TEST(ArgumentFileDialogsTest, AFolderStandsForTheInitialNameAndOnlyExistingFilesOpen) {
  test::TempConfigDir dir;
  dir.Write("monitor.cfg", {});
  dir.Write("kept.cfg", {});
  const FileDialogRequest open{"config File (*.cfg)", "*.cfg", "monitor.cfg"};
  const FileDialogRequest save{"config File (*.cfg)", "*.cfg", "Default.cfg"};
  struct Case {
    std::string argument;
    bool saving;
    bool assume_ok;
    std::optional<std::string> chosen;
    std::string shown;
  };
  const Case cases[] = {
      {dir.Path(), false, false, dir.File("monitor.cfg"), ""},
      {dir.File("kept.cfg"), false, false, dir.File("kept.cfg"), ""},
      {dir.File("gone.cfg"), false, false, std::nullopt, "Error: " + dir.File("gone.cfg") + ": no such file.\n"},
      {dir.Path(), true, false, dir.File("Default.cfg"), ""},
      {dir.File("new.cfg"), true, false, dir.File("new.cfg"), ""},
      {dir.File("kept.cfg"), true, true, dir.File("kept.cfg"), ""},
      {dir.File("kept.cfg"), true, false, std::nullopt,
       "Warning: " + dir.File("kept.cfg") + " already exists.\nDo you want to replace it?\n"
       "Cancel: there is no terminal to answer at; --yes answers OK.\n"},
  };
  for (const Case& c : cases) {
    Terminal t("", false);
    ConsoleMessages messages(t.err);
    ConsoleQuestions questions(t.console, c.assume_ok);
    ArgumentFileDialogs dialogs(messages, questions);
    dialogs.SetPath(c.argument);
    EXPECT_EQ(c.saving ? dialogs.AskSavePath(save) : dialogs.AskOpenPath(open), c.chosen) << c.argument;
    EXPECT_EQ(dialogs.Answered(), c.chosen.has_value()) << c.argument;
    EXPECT_EQ(t.err.str(), c.shown) << c.argument;
  }
}

// A stop signal waits on the descriptor instead of ending the process, and only while the
// object lives.
TEST(StopSignalsTest, StopSignalsArriveAsDataOnTheDescriptor) {
  sigset_t before;
  ASSERT_EQ(::pthread_sigmask(SIG_SETMASK, nullptr, &before), 0);
  {
    StopSignals stop;
    ASSERT_TRUE(stop.Ok());
    EXPECT_EQ(stop.Take(), std::nullopt);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
      ASSERT_EQ(::raise(signal), 0);
      EXPECT_EQ(stop.Take(), signal);
    }
  }
  sigset_t after;
  ASSERT_EQ(::pthread_sigmask(SIG_SETMASK, nullptr, &after), 0);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) EXPECT_EQ(sigismember(&after, signal), sigismember(&before, signal));
}

}  // namespace
}  // namespace sd::cli

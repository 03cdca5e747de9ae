#include "tools/probe/Status.h"

#include <gtest/gtest.h>

namespace {

enum Line { kUtility, kTask, kVendor, kKey, kFnLock, kConfig, kInstall, kLines };

std::string LineOf(const StatusFacts& facts, Line line) {
  std::vector<std::string> lines = StatusLines(facts);
  return lines.size() == kLines ? lines[line] : "(" + std::to_string(lines.size()) + " lines)";
}

TEST(Status, UtilityRunningAndItsRights) {
  StatusFacts facts;
  EXPECT_EQ(LineOf(facts, kUtility),
            "utility: not running in this session - sign out and in again for the logon task to "
            "start it, or start Orvane_Keyboard_Hid.exe from the install folder as an "
            "administrator");
  facts.utilityRunning = true;
  facts.utilityProcessId = 1234;
  facts.utilityRights = StatusFacts::Rights::kElevated;
  EXPECT_EQ(LineOf(facts, kUtility), "utility: running (process 1234), elevated");
  facts.utilityRights = StatusFacts::Rights::kNotElevated;
  EXPECT_EQ(LineOf(facts, kUtility),
            "utility: running (process 1234), not elevated - the fan mode needs administrator "
            "rights: end it and start it as an administrator");
  facts.utilityRights = StatusFacts::Rights::kUnreadable;
  EXPECT_EQ(LineOf(facts, kUtility),
            "utility: running (process 1234), rights unknown: this probe is not elevated and "
            "cannot read an elevated process's rights - run the probe as an administrator to know");
  facts.probeElevated = true;
  EXPECT_EQ(LineOf(facts, kUtility), "utility: running (process 1234), its rights cannot be read");
}

TEST(Status, LogonTaskRegisteredAndItsLastResultInWords) {
  StatusFacts facts;
  EXPECT_EQ(LineOf(facts, kTask), "logon task: not registered - run setup again, as an administrator");
  facts.task = StatusFacts::Task::kUnreadable;
  facts.taskCode = 0x80070005;
  facts.taskCodeText = "Access is denied";
  EXPECT_EQ(LineOf(facts, kTask), "logon task: cannot be read: Access is denied (0x80070005)");

  facts.task = StatusFacts::Task::kRegistered;
  facts.taskCodeText = "the system's text";
  const std::pair<uint32_t, const char*> results[] = {
      {0, "ran and ended well (0x00000000)"},
      {0x41301, "running (0x00041301)"},
      {0x41303, "not run yet (0x00041303) - it runs at the next logon"},
      {0x800702E4, "needs elevation (0x800702E4) - this account is not an administrator: the "
                   "utility runs only for administrators"},
      {0x80070002, "the system's text (0x80070002)"},
  };
  for (const auto& [code, words] : results) {
    facts.taskCode = code;
    EXPECT_EQ(LineOf(facts, kTask), std::string("logon task: registered, last result: ") + words);
  }
}

TEST(Status, CollectionsPresentWithTheirPathsOrMissing) {
  StatusFacts facts;
  const std::string missing =
      ": missing - plug the keyboard in; `orvane_probe list` says why each interface is passed over";
  EXPECT_EQ(LineOf(facts, kVendor), "vendor-defined collection" + missing);
  EXPECT_EQ(LineOf(facts, kKey), "key collection" + missing);
  facts.vendorPath = "\\\\?\\hid#vid_17ef&pid_6100&mi_00&col02";
  facts.keyPath = "\\\\?\\hid#vid_17ef&pid_6100&mi_01&col01";
  EXPECT_EQ(LineOf(facts, kVendor), "vendor-defined collection: present, " + facts.vendorPath);
  EXPECT_EQ(LineOf(facts, kKey), "key collection: present, " + facts.keyPath);
}

TEST(Status, StoredFnLock) {
  StatusFacts facts;
  EXPECT_EQ(LineOf(facts, kFnLock),
            "Fn lock: nothing stored, which reads as off - the utility stores it at its first "
            "start for this user");
  facts.fnLockStored = true;
  EXPECT_EQ(LineOf(facts, kFnLock), "Fn lock: off (stored 0)");
  facts.fnLockState = 1;
  EXPECT_EQ(LineOf(facts, kFnLock), "Fn lock: on (stored 1)");
  facts.fnLockState = 7;
  EXPECT_EQ(LineOf(facts, kFnLock),
            "Fn lock: stored 7, neither 0 (off) nor 1 (on) - switch Fn lock on the keyboard to "
            "store one of them");
}

TEST(Status, InstallFolderAndItsConfig) {
  StatusFacts facts;
  EXPECT_EQ(LineOf(facts, kInstall), "install folder: not installed - run setup");
  EXPECT_EQ(LineOf(facts, kConfig), "config: none - not installed");
  facts.installFolder = "C:\\Program Files\\Varnel\\Orvane_Keyboard";
  EXPECT_EQ(LineOf(facts, kInstall), "install folder: C:\\Program Files\\Varnel\\Orvane_Keyboard");
  EXPECT_EQ(LineOf(facts, kConfig),
            "config: missing from the install folder, so Fn+Q leaves the fan mode alone - run "
            "setup again to restore it");
  facts.configPresent = true;
  EXPECT_EQ(LineOf(facts, kConfig), "config: SmartFan 0, Fn+Q fan toggle off");
  facts.smartFan = 2;  // any value but 0 enables it
  EXPECT_EQ(LineOf(facts, kConfig), "config: SmartFan 2, Fn+Q toggles the fan mode");
}

}  // namespace

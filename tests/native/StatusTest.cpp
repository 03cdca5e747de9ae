#include "tools/probe/Status.h"

#include <gtest/gtest.h>

namespace {

enum Line {
  kUtility, kTask, kVendor, kKey, kFnLock, kConfig, kInstall, kPermissions, kAccount, kLines
};

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
      {0x800702E4, "needs elevation (0x800702E4) - the last user to log on is not an "
                   "administrator: the utility runs only for administrators"},
      {0x80070002, "the system's text (0x80070002)"},
  };
  for (const auto& [code, words] : results) {
    facts.taskCode = code;
    EXPECT_EQ(LineOf(facts, kTask),
              std::string("logon task: registered, last result (of the last logon of any user): ") +
                  words);
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
  EXPECT_EQ(LineOf(facts, kInstall),
            "install folder: C:\\Program Files\\Varnel\\Orvane_Keyboard (setup)");
  facts.installer = StatusFacts::Installer::kPackage32;
  facts.productCode = "{0C9D3A4E-5B6F-4A1B-8C2D-3E4F5A6B7C8D}";
  EXPECT_EQ(LineOf(facts, kInstall),
            "install folder: C:\\Program Files\\Varnel\\Orvane_Keyboard (32-bit Windows "
            "Installer package {0C9D3A4E-5B6F-4A1B-8C2D-3E4F5A6B7C8D})");
  facts.installer = StatusFacts::Installer::kPackage64;
  EXPECT_EQ(LineOf(facts, kInstall),
            "install folder: C:\\Program Files\\Varnel\\Orvane_Keyboard (64-bit Windows "
            "Installer package {0C9D3A4E-5B6F-4A1B-8C2D-3E4F5A6B7C8D})");
  EXPECT_EQ(LineOf(facts, kConfig),
            "config: missing from the install folder, so Fn+Q leaves the fan mode alone - run "
            "setup again to restore it");
  facts.configPresent = true;
  EXPECT_EQ(LineOf(facts, kConfig), "config: SmartFan 0, Fn+Q fan toggle off");
  facts.smartFan = 2;  // any value but 0 enables it
  EXPECT_EQ(LineOf(facts, kConfig), "config: SmartFan 2, Fn+Q toggles the fan mode");
}

const StatusFacts::Trustee kAdministrators = {"S-1-5-32-544", "BUILTIN\\Administrators"};
const StatusFacts::Trustee kSystem = {"S-1-5-18", "NT AUTHORITY\\SYSTEM"};
const StatusFacts::Trustee kTrustedInstaller = {
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
    "NT SERVICE\\TrustedInstaller"};
const StatusFacts::Trustee kUsers = {"S-1-5-32-545", "BUILTIN\\Users"};
const uint32_t kFullControl = 0x1F01FF;
const uint32_t kReadAndExecute = 0x1200A9;

// Installed as setup leaves it, and all well for an administrator.
StatusFacts AllWell() {
  StatusFacts facts;
  facts.utilityRunning = true;
  facts.utilityRights = StatusFacts::Rights::kElevated;
  facts.task = StatusFacts::Task::kRegistered;
  facts.vendorPath = "vendor";
  facts.keyPath = "key";
  facts.fnLockStored = true;
  facts.installFolder = "C:\\Program Files\\Varnel\\Orvane_Keyboard";
  facts.configPresent = true;
  facts.folderOwner = kAdministrators;
  facts.folderAllowed = {{kAdministrators, kFullControl},
                         {kSystem, kFullControl},
                         {kTrustedInstaller, kFullControl},
                         {kUsers, kReadAndExecute}};
  facts.account = StatusFacts::Account::kAdministrator;
  return facts;
}

TEST(Status, FolderPermissionsNameWhoElseCanChangeWhatLiesInIt) {
  StatusFacts facts;
  EXPECT_EQ(LineOf(facts, kPermissions), "folder permissions: none - not installed");
  facts = AllWell();
  EXPECT_EQ(LineOf(facts, kPermissions), "folder permissions: only administrators can change it");

  const std::string remedy = " - run setup again as an administrator: it protects the folder";
  // Each right that changes what lies inside, given to someone else.
  for (uint32_t right : {0x2u, 0x4u, 0x10u, 0x40u, 0x100u, 0x10000u, 0x40000u, 0x80000u,
                         0x10000000u, 0x40000000u}) {
    StatusFacts given = AllWell();
    given.folderAllowed.push_back({{"S-1-1-0", "Everyone"}, right});
    EXPECT_EQ(LineOf(given, kPermissions),
              "folder permissions: others can change it: Everyone (S-1-1-0)" + remedy)
        << std::hex << right;
  }
  // An owner may always change the permissions; each is named once, by its
  // SID alone where it has no name.
  facts.folderOwner = {"S-1-5-21-1-2-3-1001", "PC\\kim"};
  facts.folderAllowed.push_back({{"S-1-5-21-9-9-9-1002", ""}, 0x2});
  facts.folderAllowed.push_back({{"S-1-5-21-9-9-9-1002", ""}, 0x4});
  EXPECT_EQ(LineOf(facts, kPermissions),
            "folder permissions: others can change it: PC\\kim (S-1-5-21-1-2-3-1001), "
            "S-1-5-21-9-9-9-1002" + remedy);

  facts.permissions = StatusFacts::Permissions::kNoAccessList;
  EXPECT_EQ(LineOf(facts, kPermissions),
            "folder permissions: anyone can change it: it has no access list" + remedy);
  facts.permissions = StatusFacts::Permissions::kUnreadable;
  facts.permissionsError = 5;
  facts.permissionsErrorText = "Access is denied";
  EXPECT_EQ(LineOf(facts, kPermissions),
            "folder permissions: cannot be read: Access is denied (error 5)" + remedy);
}

TEST(Status, AccountFromThisProbesToken) {
  StatusFacts facts;
  const std::pair<StatusFacts::Account, const char*> accounts[] = {
      {StatusFacts::Account::kSystem,
       "SYSTEM - only the machine's facts decide the exit code: installed, logon task "
       "registered, folder permissions"},
      {StatusFacts::Account::kAdministrator, "an administrator - the utility runs for it"},
      {StatusFacts::Account::kStandardUser,
       "a standard user - the utility cannot run for it: it needs administrator rights (Windows "
       "refuses its start with error 740)"},
      {StatusFacts::Account::kUnreadable,
       "this probe's token cannot be read, so which facts count is unknown"},
  };
  for (const auto& [account, words] : accounts) {
    facts.account = account;
    EXPECT_EQ(LineOf(facts, kAccount), std::string("account: ") + words);
  }
}

// For each change to an install where all is well, the exit code for a
// user and for SYSTEM, which only the machine's facts concern.
TEST(Status, ExitCodeCountsOnlyTheMachinesFactsForSystem) {
  using Change = void (*)(StatusFacts&);
  struct Case {
    const char* what;
    Change change;
    int asUser;
    int asSystem;
  };
  const Case cases[] = {
      {"all well", [](StatusFacts&) {}, 0, 0},
      {"not installed", [](StatusFacts& f) { f.installFolder.clear(); }, 3, 3},
      {"task not registered",
       [](StatusFacts& f) { f.task = StatusFacts::Task::kNotRegistered; }, 1, 1},
      {"task unreadable", [](StatusFacts& f) { f.task = StatusFacts::Task::kUnreadable; }, 1, 1},
      {"the last logon's start refused",
       [](StatusFacts& f) { f.taskCode = kTaskNeedsElevation; }, 0, 0},
      {"folder open to users",
       [](StatusFacts& f) { f.folderAllowed.push_back({kUsers, 0x2}); }, 1, 1},
      {"folder unreadable",
       [](StatusFacts& f) { f.permissions = StatusFacts::Permissions::kUnreadable; }, 1, 1},
      {"folder without an access list",
       [](StatusFacts& f) { f.permissions = StatusFacts::Permissions::kNoAccessList; }, 1, 1},
      {"utility not running", [](StatusFacts& f) { f.utilityRunning = false; }, 1, 0},
      {"utility not elevated",
       [](StatusFacts& f) { f.utilityRights = StatusFacts::Rights::kNotElevated; }, 1, 0},
      {"utility's rights unknown",
       [](StatusFacts& f) { f.utilityRights = StatusFacts::Rights::kUnreadable; }, 0, 0},
      {"vendor collection missing", [](StatusFacts& f) { f.vendorPath.clear(); }, 1, 0},
      {"key collection missing", [](StatusFacts& f) { f.keyPath.clear(); }, 1, 0},
      {"Fn lock stored on", [](StatusFacts& f) { f.fnLockState = 1; }, 0, 0},
      {"Fn lock stored 7", [](StatusFacts& f) { f.fnLockState = 7; }, 1, 0},
      {"Fn lock not stored (the state means nothing then)",
       [](StatusFacts& f) {
         f.fnLockStored = false;
         f.fnLockState = 7;
       },
       0, 0},
      {"config missing", [](StatusFacts& f) { f.configPresent = false; }, 1, 0},
  };
  for (const Case& c : cases) {
    StatusFacts facts = AllWell();
    c.change(facts);
    EXPECT_EQ(StatusExitCode(facts), c.asUser) << c.what;
    facts.account = StatusFacts::Account::kSystem;
    EXPECT_EQ(StatusExitCode(facts), c.asSystem) << c.what << ", as SYSTEM";
  }
  StatusFacts facts = AllWell();
  facts.account = StatusFacts::Account::kStandardUser;
  EXPECT_EQ(StatusExitCode(facts), kStatusSomethingWrong);
  facts.account = StatusFacts::Account::kUnreadable;
  EXPECT_EQ(StatusExitCode(facts), kStatusCannotCheck);
}

}  // namespace

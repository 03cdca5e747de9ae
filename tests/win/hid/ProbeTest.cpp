// The probe tool against the virtual keyboard in the system's HID stack,
// run as a person would.
#include <gtest/gtest.h>
#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "tests/win/support/ChildProcess.h"
#include "tests/win/support/RecorderWindow.h"
#include "tests/win/support/VkbdProcess.h"
#include "tools/probe/StatusGather.h"
#include "testbed/vkbd/VirtualKeyboard.h"

namespace {

const DWORD kPatienceMs = 20000;

std::vector<std::string> AllLines(CChildProcess& child) {
  std::vector<std::string> lines;
  std::string line;
  while (child.ReadLine(line, kPatienceMs)) lines.push_back(line);
  return lines;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The role line printed for a path: two lines below it.
std::string RoleOf(const std::vector<std::string>& lines, const std::wstring& path) {
  auto at = std::find(lines.begin(), lines.end(), Narrow(path));
  if (at == lines.end() || lines.end() - at < 3) return "(not listed)";
  return at[2];
}

// A message that carries a pointer cannot be posted: the tool says why.
TEST(PostTool, NamesTheErrorOfAFailedPost) {
  CRecorderWindow target(L"Orvane_PostTarget");
  CChildProcess post(L"orvane_post.exe", L"Orvane_PostTarget 0x000C");  // WM_SETTEXT
  std::vector<std::string> lines = AllLines(post);
  EXPECT_EQ(post.WaitForExit(kPatienceMs), 1u);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("orvane_post: the post failed with error 1159: ", 0), 0u) << lines[0];
}

TEST(Probe, ListsEveryInterfaceWithItsRoleOrWhyItIsPassedOver) {
  CVirtualKeyboard keyboard(VHID_KEYBOARD | VHID_DECOYS);
  ASSERT_TRUE(keyboard.Plug()) << keyboard.Error();

  CChildProcess probe(L"orvane_probe.exe", L"list");
  ASSERT_TRUE(probe.Started());
  std::vector<std::string> lines = AllLines(probe);
  EXPECT_EQ(probe.WaitForExit(kPatienceMs), 0u);
  ASSERT_FALSE(lines.empty());
  // Wine's own mouse and keyboard come too, when its bus has them up.
  size_t listed = std::count_if(lines.begin(), lines.end(),
                                [](const std::string& line) { return line.rfind("\\\\?\\", 0) == 0; });
  EXPECT_GE(listed, keyboard.Collections().size());
  EXPECT_EQ(lines.back(), std::to_string(listed) + " HID interface(s)");

  const char* roles[kVhidCollectionKinds] = {
      "  role: feature commands (vendor-defined collection)",
      "  role: key reports (consumer control on interface 1)",
      "  role: none - not the keyboard (vendor 0x046D, product 0xC52B)",
      "  role: none - collection 0xFF00/2 is not used",
      "  role: none - consumer control without \"mi_01\" in its path",
      "  role: none - not the keyboard (vendor 0x17EF, product 0x6101)",
  };
  for (const VirtualCollection& c : keyboard.Collections()) {
    EXPECT_EQ(RoleOf(lines, c.path), roles[c.kind]) << Narrow(c.path);
  }
}

TEST(Probe, WatchPrintsEachReportAsTheUtilityWouldActOnIt) {
  CVirtualKeyboard keyboard;
  ASSERT_TRUE(keyboard.Plug()) << keyboard.Error();
  CChildProcess probe(L"orvane_probe.exe", L"watch 3");
  std::string line;
  while (probe.ReadLine(line, kPatienceMs) && line != "key collection: open, watching") {
  }
  ASSERT_EQ(line, "key collection: open, watching");
  keyboard.SendInputReport({0x02, 0x08, 0x00, 0x00});
  keyboard.SendInputReport({0x02, 0x08, 0x00, 0x00});
  keyboard.SendInputReport({0x02, 0x00, 0x20, 0x00});

  std::vector<std::string> lines = AllLines(probe);
  EXPECT_EQ(probe.WaitForExit(kPatienceMs), 0u);
  auto has = [&](const std::string& wanted) {
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
  };
  EXPECT_TRUE(has("report 3"));
  EXPECT_TRUE(has("  event: 8 (microphone mute toggle)"));
  EXPECT_TRUE(has("  post:  0x500 wParam 8"));
  EXPECT_TRUE(has("  drop:  repeat within 100 ms"));
  EXPECT_TRUE(has("  log:   Repeat EP:0x8(100ms)"));
  EXPECT_TRUE(has("  post:  0x500 wParam 32"));
}

TEST(Probe, WatchWithoutTheKeyboardSaysSoAndFails) {
  CVirtualKeyboard keyboard;  // not plugged in
  CChildProcess probe(L"orvane_probe.exe", L"watch");
  std::vector<std::string> lines = AllLines(probe);
  EXPECT_EQ(probe.WaitForExit(kPatienceMs), 1u);
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "key collection: missing - is the keyboard plugged in?"),
            lines.end());
}

// A line for each fact, in order, the two collections of the keyboard
// plugged, this account (Wine's, an administrator) and, with nothing
// installed in the tests' prefix, the exit code that says so. The other
// facts' states (task results, rights, an install) are not Wine's to give;
// their wording is tested natively.
TEST(Probe, StatusPrintsEveryFactAndTheKeyboardsTwoCollections) {
  CVirtualKeyboard keyboard;
  ASSERT_TRUE(keyboard.Plug()) << keyboard.Error();
  CChildProcess probe(L"orvane_probe.exe", L"status");
  std::vector<std::string> lines = AllLines(probe);
  EXPECT_EQ(probe.WaitForExit(kPatienceMs), static_cast<DWORD>(kStatusNotInstalled));
  const std::vector<std::string> labels = {"utility: ", "logon task: ", "vendor-defined collection: ",
                                           "key collection: ", "Fn lock: ", "config: ",
                                           "install folder: ", "folder permissions: ", "account: "};
  ASSERT_EQ(lines.size(), labels.size());
  for (size_t i = 0; i < labels.size(); ++i) EXPECT_EQ(lines[i].rfind(labels[i], 0), 0u) << lines[i];
  for (const VirtualCollection& c : keyboard.Collections()) {
    size_t at = c.kind == kVhidVendor ? 2 : 3;
    EXPECT_EQ(lines[at], labels[at] + "present, " + Narrow(c.path));
  }
  EXPECT_EQ(lines[8], "account: an administrator - the utility runs for it");
}

HWND WINAPI SomeWindow(LPCWSTR, LPCWSTR) { return GetDesktopWindow(); }
HANDLE WINAPI OpenRefused(DWORD, BOOL, DWORD) { return nullptr; }
LSTATUS WINAPI NoSuchKey(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY) { return ERROR_FILE_NOT_FOUND; }

// One package installed, by its upgrade code, with its utility's component
// in C:\Orvane.
const wchar_t kProduct[] = L"{0C9D3A4E-5B6F-4A1B-8C2D-3E4F5A6B7C8D}";
const wchar_t* g_upgradeCode = nullptr;
const wchar_t* g_utilityComponent = nullptr;

UINT WINAPI RelatedProduct(LPCWSTR upgradeCode, DWORD, DWORD index, LPWSTR product) {
  if (index != 0 || std::wstring(upgradeCode) != g_upgradeCode) return ERROR_NO_MORE_ITEMS;
  wcscpy(product, kProduct);
  return ERROR_SUCCESS;
}

INSTALLSTATE WINAPI UtilityPath(LPCWSTR product, LPCWSTR component, LPWSTR path, LPDWORD size) {
  if (std::wstring(product) != kProduct || std::wstring(component) != g_utilityComponent) {
    return INSTALLSTATE_UNKNOWN;
  }
  *size = static_cast<DWORD>(swprintf(path, *size, L"C:\\Orvane\\Orvane_Keyboard_Hid.exe"));
  return INSTALLSTATE_LOCAL;
}

// That folder, owned by Administrators, and Users may change what lies in it.
DWORD WINAPI UsersMayChange(LPCWSTR name, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID* owner, PSID*,
                            PACL* dacl, PACL*, PSECURITY_DESCRIPTOR* descriptor) {
  if (std::wstring(name) != L"C:\\Orvane") return ERROR_FILE_NOT_FOUND;
  BOOL present = FALSE, defaulted = FALSE;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;BU)", SDDL_REVISION_1,
          descriptor, nullptr) ||
      !GetSecurityDescriptorOwner(*descriptor, owner, &defaulted) ||
      !GetSecurityDescriptorDacl(*descriptor, &present, dacl, &defaulted)) {
    return GetLastError();
  }
  return ERROR_SUCCESS;
}

// This probe's token as SYSTEM's: LocalSystem its user.
BOOL WINAPI SystemsToken(HANDLE token, TOKEN_INFORMATION_CLASS type, LPVOID info, DWORD size,
                         PDWORD needed) {
  if (type != TokenUser) return GetTokenInformation(token, type, info, size, needed);
  auto* user = static_cast<TOKEN_USER*>(info);
  user->User.Sid = user + 1;
  user->User.Attributes = 0;
  DWORD sidSize = size - sizeof(TOKEN_USER);
  return CreateWellKnownSid(WinLocalSystemSid, nullptr, user->User.Sid, &sidSize);
}

// The states Wine does not give, through the calls behind the facts: a
// utility whose rights cannot be read, a task refused for want of
// elevation, an install by either package into a folder others can change,
// and this probe run as SYSTEM.
TEST(Probe, StatusTellsWhatTheSystemAnswersInWords) {
  StatusCalls calls;
  calls.findWindow = SomeWindow;
  calls.openProcess = OpenRefused;
  calls.readLogonTaskLastResult = [](LONG* result) {
    *result = static_cast<LONG>(0x800702E4);
    return S_OK;
  };
  calls.regOpenKeyEx = NoSuchKey;
  calls.msiEnumRelatedProducts = RelatedProduct;
  calls.msiGetComponentPath = UtilityPath;
  calls.getNamedSecurityInfo = UsersMayChange;
  calls.getTokenInformation = SystemsToken;
  const struct {
    const wchar_t* upgradeCode;
    const wchar_t* utilityComponent;
    const char* bits;
  } packages[] = {
      {L"{3F2CE9FB-E55D-40DA-B226-3DE553EE8FB7}", L"{4A37E5CA-1C41-4924-85F4-FEF9DDAE2A01}", "32"},
      {L"{2F3D88AD-4EB2-4E24-A4D2-3476C456E21F}", L"{352B7E65-29B1-45B3-B46E-41A5BFAB7401}", "64"},
  };
  std::vector<std::string> lines;
  for (const auto& package : packages) {
    g_upgradeCode = package.upgradeCode;
    g_utilityComponent = package.utilityComponent;
    lines = StatusLines(GatherStatusFacts(calls));
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[6], std::string("install folder: C:\\Orvane (") + package.bits +
                            "-bit Windows Installer package {0C9D3A4E-5B6F-4A1B-8C2D-3E4F5A6B7C8D})");
  }
  EXPECT_TRUE(lines[0].find("rights unknown") != std::string::npos ||
              lines[0].find("its rights cannot be read") != std::string::npos)
      << lines[0];
  EXPECT_EQ(lines[1].rfind("logon task: registered, last result (of the last logon of any user): "
                           "needs elevation (0x800702E4)",
                           0),
            0u)
      << lines[1];
  EXPECT_EQ(lines[7],
            "folder permissions: others can change it: BUILTIN\\Users (S-1-5-32-545) - run setup "
            "again as an administrator: it protects the folder");
  EXPECT_EQ(lines[8].rfind("account: SYSTEM - ", 0), 0u) << lines[8];
}

// The vkbd program answers a bad command or report with an error line and
// goes on.
TEST(VkbdProgram, BadCommandsAndReportsGetAnErrorLineAndTheRestStillWorks) {
  CVkbdProcess keyboard;
  ASSERT_TRUE(keyboard.Ready());
  for (const char* bad : {"press", "press 0x02", "press 2g", "press 01 00 10 00",
                          "press 02 00 00 00 00 00 00 00 00", "key nothing", "wait soon",
                          "refuse -1", "jump"}) {
    EXPECT_EQ(keyboard.Command(bad).rfind("error: ", 0), 0u) << bad;
  }
  EXPECT_EQ(keyboard.Command("plug"), "ok");
  EXPECT_EQ(keyboard.Command("plug"), "error: the keyboard is plugged in already");
  EXPECT_EQ(keyboard.Command("press 02 00 10 00"), "sent 0");  // nobody holds it open
  EXPECT_EQ(keyboard.Command("unplug"), "ok");
}

}  // namespace

// The WMI fan-mode client against the fake gaming-zone class (every step,
// argument, trace line and release) and against Wine's WMI, where root\wmi
// exists but the class does not.
#include "actions/GameZoneClient.h"

#include <gtest/gtest.h>
#include <wbemidl.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/win/support/LogCapture.h"
#include "tests/win/support/StdoutCapture.h"
#include "testbed/sim/FakeWmi.h"

namespace {

using Step = CFakeGameZone::Step;
using Texts = std::vector<std::string>;

const HRESULT kFailed = static_cast<HRESULT>(0x80041001);  // WBEM_E_FAILED

// What one call wrote, both ways, and what it returned.
struct Outcome {
  std::string stdoutText;
  Texts logLines;
  int32_t mode = 0;
};

std::string Joined(const Texts& lines) {
  std::string text;
  for (const std::string& line : lines) text += line;
  return text;
}

Outcome Get(const CGameZoneClient& client) {
  Outcome outcome;
  CLogCapture log;
  CStdoutCapture out;
  outcome.mode = client.GetSmartFanMode();
  outcome.stdoutText = out.Text();
  outcome.logLines = log.Messages();
  return outcome;
}

Outcome Set(const CGameZoneClient& client, int32_t mode) {
  Outcome outcome;
  CLogCapture log;
  CStdoutCapture out;
  client.SetSmartFanMode(mode);
  outcome.stdoutText = out.Text();
  outcome.logLines = log.Messages();
  return outcome;
}

// The fake world, with COM security that has not been set before.
struct Fixture {
  CFakeGameZone zone;
  CGameZoneClient client;
  std::vector<std::string> securityCalls;
  HRESULT securityAnswer = S_OK;

  Fixture() {
    client.m_calls.createInstance = zone.Factory();
    client.m_calls.initializeSecurity = [this](PSECURITY_DESCRIPTOR descriptor, LONG services,
                                               SOLE_AUTHENTICATION_SERVICE* list, void* reserved1,
                                               DWORD level, DWORD impersonation, void* authList,
                                               DWORD capabilities, void* reserved3) {
      char line[160];
      std::snprintf(line, sizeof line, "%s %ld %s %s %lu %lu %s %lu %s",
                    descriptor ? "set" : "null", services, list ? "set" : "null",
                    reserved1 ? "set" : "null", level, impersonation, authList ? "set" : "null",
                    capabilities, reserved3 ? "set" : "null");
      securityCalls.push_back(line);
      return securityAnswer;
    };
  }
};

const Texts kGetTrace = {" ConnectServer returned 0x0:", " GetObject returned 0x0:",
                         " GetMethod returned 0x0:", " pObj Get returned 0x0:",
                         " ExecMethod returned 0x0:"};
const Texts kSetTrace = {" ConnectServer returned 0x0:",  " GetObject returned 0x0:",
                         " GetMethod returned 0x0:",      " SpawnInstance returned 0x0:",
                         " Put ArgName0 returned 0x0:",   " pObj Get returned 0x0:",
                         " ExecMethod returned 0x0:",     "Terminating normally "};

const std::string kPath = "\\\\SIM\\root\\wmi:VARNEL_GAMEZONE_DATA.InstanceName=\"ACPI\\\\PNP0C14\\\\GMZN_0\"";
const Texts kOpenCalls = {
    "CoCreateInstance {4590F811-1D3A-11D0-891F-00AA004B2E24} null 1 "
    "{DC12A687-737F-11CF-884D-00AA004B2E24}",
    "ConnectServer root\\wmi null null null 0 null null",
    "SetBlanket services 10 0 null 3 3 null 0",
    "ExecQuery WQL Select * from VARNEL_GAMEZONE_DATA 48 null",
    "Next -1 1",
    "GetObject VARNEL_GAMEZONE_DATA 0 null null",
};

Texts Concat(Texts a, const Texts& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(GameZoneClientTest, GetTakesEveryStepAndReturnsTheFirmwaresData) {
  Fixture f;
  Outcome outcome = Get(f.client);
  EXPECT_EQ(outcome.mode, 2);
  EXPECT_EQ(outcome.logLines, kGetTrace);
  EXPECT_EQ(outcome.stdoutText, Joined(kGetTrace));
  EXPECT_EQ(f.securityCalls, Texts{"null -1 null null 0 3 null 0 null"});
  EXPECT_EQ(f.zone.m_journal.calls,
            Concat(kOpenCalls, {"class definition GetMethod GetSmartFanMode 0 out null",
                                "instance Get __PATH 0",
                                "ExecMethod " + kPath + " GetSmartFanMode 0 null in null out set null",
                                "output parameters Get Data 0"}));
  // Everything obtained goes back, the enumerator, instance and output too.
  EXPECT_EQ(f.zone.m_journal.released,
            (Texts{"class definition", "output parameters", "instance", "enumerator", "locator",
                   "services"}));
  EXPECT_EQ(f.zone.m_journal.liveObjects, 0);
}

TEST(GameZoneClientTest, GetPassesAnyValueThrough) {
  for (int32_t mode : {0, 3, 5, -7}) {
    Fixture f;
    f.zone.m_mode = mode;
    EXPECT_EQ(Get(f.client).mode, mode);
  }
}

TEST(GameZoneClientTest, SetSendsTheModeAsAVtI4Data) {
  Fixture f;
  Outcome outcome = Set(f.client, 3);
  ASSERT_EQ(f.zone.m_setArguments.size(), 1u);
  EXPECT_EQ(f.zone.m_setArguments[0].type, VT_I4);
  EXPECT_EQ(f.zone.m_setArguments[0].value, 3);
  EXPECT_EQ(f.zone.m_mode, 3);
  EXPECT_EQ(outcome.logLines, kSetTrace);
  EXPECT_EQ(outcome.stdoutText, Joined(kSetTrace));
  EXPECT_EQ(f.zone.m_journal.calls,
            Concat(kOpenCalls, {"class definition GetMethod SetSmartFanMode 0 out null",
                                "input signature SpawnInstance 0",
                                "input parameters Put Data 0 vt 3 value 3 type 0",
                                "instance Get __PATH 0",
                                "ExecMethod " + kPath + " SetSmartFanMode 0 null in set out set null"}));
  EXPECT_EQ(f.zone.m_journal.released,
            (Texts{"class definition", "input signature", "input parameters", "output parameters",
                   "instance", "enumerator", "locator", "services"}));
  EXPECT_EQ(f.zone.m_journal.liveObjects, 0);
  // The fan class keeps what it was set to.
  EXPECT_EQ(Get(f.client).mode, 3);
}

struct FailCase {
  Step step;
  HRESULT hr;
  Texts trace;
};

Texts Upto(const Texts& trace, size_t count, Texts more) {
  return Concat(Texts(trace.begin(), trace.begin() + count), more);
}

// Runs call with the zone failing at c's step, on a thread of its own, and
// checks what every failure leaves: c's trace in the log and on standard
// output, no object alive, and COM as the thread found it.
template <typename Call>
Outcome RunFailing(Fixture& f, const FailCase& c, Call call) {
  f.zone.Fail(c.step, c.hr);
  Outcome outcome;
  HRESULT comAfterwards = E_FAIL;
  std::thread([&] {
    outcome = call(f.client);
    comAfterwards = CoInitialize(nullptr);
    CoUninitialize();
  }).join();
  EXPECT_EQ(outcome.logLines, c.trace);
  EXPECT_EQ(outcome.stdoutText, Joined(c.trace));
  EXPECT_EQ(f.zone.m_journal.liveObjects, 0);
  EXPECT_EQ(comAfterwards, S_OK);
  return outcome;
}

TEST(GameZoneClientTest, EachFailingStepOfTheGetTracesItselfAndGivesMinusOne) {
  const FailCase cases[] = {
      {Step::kCreateLocator, REGDB_E_CLASSNOTREG,
       {"CoCreateInstance returned 0x80040154:", " [-] Err: CoCreateInstance"}},
      {Step::kConnectServer, static_cast<HRESULT>(0x8004100E),
       {" ConnectServer returned 0x8004100e:", " [-] Err: ConnectServer"}},
      {Step::kConnectServer, 1, {" ConnectServer returned 0x1:", " [-] Err: ConnectServer"}},
      {Step::kSetBlanket, E_ACCESSDENIED, Upto(kGetTrace, 1, {" [-] Err: CoSetProxyBlanket"})},
      {Step::kExecQuery, kFailed, Upto(kGetTrace, 1, {" [-] Err: ExecQuery"})},
      {Step::kNext, 1 /* WBEM_S_FALSE: no instance */, Upto(kGetTrace, 1, {" [-] Err: Next"})},
      {Step::kNext, kFailed, Upto(kGetTrace, 1, {" [-] Err: Next"})},
      {Step::kGetObject, static_cast<HRESULT>(0x80041002),
       Upto(kGetTrace, 1, {" GetObject returned 0x80041002:", " [-] Err: GetObject"})},
      {Step::kGetMethod, kFailed,
       Upto(kGetTrace, 2, {" GetMethod returned 0x80041001:", " [-] Err: GetMethod"})},
      {Step::kGetPath, kFailed,
       Upto(kGetTrace, 3, {" pObj Get returned 0x80041001:", " [-] Err: Get"})},
      {Step::kExecMethod, kFailed,
       Upto(kGetTrace, 4, {" ExecMethod returned 0x80041001:", " [-] Err: ExecMethod"})},
      // Reading "Data" has no trace line of its own.
      {Step::kGetData, kFailed, kGetTrace},
  };
  for (const FailCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.step));
    Fixture f;
    EXPECT_EQ(RunFailing(f, c, [](const CGameZoneClient& client) { return Get(client); }).mode, -1);
  }
}

TEST(GameZoneClientTest, EachFailingStepOfTheSetTracesItselfAndSetsNothing) {
  const FailCase cases[] = {
      {Step::kCreateLocator, REGDB_E_CLASSNOTREG,
       {"CoCreateInstance returned 0x80040154:", " [-] Err: CoCreateInstance"}},
      {Step::kNext, 1, Upto(kSetTrace, 1, {" [-] Err: Next"})},
      {Step::kGetMethod, kFailed,
       Upto(kSetTrace, 2, {" GetMethod returned 0x80041001:", " [-] Err: GetMethod"})},
      {Step::kSpawnInstance, kFailed,
       Upto(kSetTrace, 3, {" SpawnInstance returned 0x80041001:", " [-] Err: SpawnInstance"})},
      {Step::kPut, kFailed,
       Upto(kSetTrace, 4, {" Put ArgName0 returned 0x80041001:", " [-] Err: Put ArgName0"})},
      {Step::kGetPath, kFailed,
       Upto(kSetTrace, 5, {" pObj Get returned 0x80041001:", " [-] Err: Get"})},
      {Step::kExecMethod, kFailed,
       Upto(kSetTrace, 6, {" ExecMethod returned 0x80041001:", " [-] Err: ExecMethod"})},
  };
  for (const FailCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.step));
    Fixture f;
    RunFailing(f, c, [](const CGameZoneClient& client) { return Set(client, 3); });
    EXPECT_EQ(f.zone.m_mode, 2);
  }
}

TEST(GameZoneClientTest, AFailingSecurityCallIsTracedAndTheCallGoesOn) {
  Fixture f;
  f.securityAnswer = RPC_E_TOO_LATE;  // security set by an earlier call
  Outcome outcome = Get(f.client);
  EXPECT_EQ(outcome.mode, 2);
  Texts trace = Concat({"CoInitializeSecurity returned 0x80010119:", "\n[-] Err: CoInitializeSecurity"},
                       kGetTrace);
  EXPECT_EQ(outcome.stdoutText, Joined(trace));
  // The log has one line per message; the second message begins with its
  // line feed, so its line is the bare stamp.
  std::ifstream in("C:\\LOG\\Orvane_Keyboard.log", std::ios::binary);
  std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(std::regex_search(
      log, std::regex("^[0-9:]{12} ::  CoInitializeSecurity returned 0x80010119:\r\n"
                      "[0-9:]{12} ::  \r\n\\[-\\] Err: CoInitializeSecurity\r\n"
                      "[0-9:]{12} ::   ConnectServer returned 0x0:\r\n")))
      << log;
  Outcome set = Set(f.client, 3);
  EXPECT_EQ(set.stdoutText, Joined(Concat({trace[0], trace[1]}, kSetTrace)));
}

TEST(GameZoneClientTest, OutOfMemoryGoesToStandardOutputOnlyFromTheGet) {
  for (const wchar_t* failing : {L"root\\wmi", L"VARNEL_GAMEZONE_DATA", L"GetSmartFanMode",
                                 L"SetSmartFanMode", L"Data"}) {
    Fixture f;
    f.client.m_calls.allocString = [failing](const OLECHAR* text) -> BSTR {
      return std::wstring(text) == failing ? nullptr : SysAllocString(text);
    };
    const std::string lines = "SysAllocString failed. Out of memory.  [-] Err: xxx";
    bool getFails = std::wstring(failing) != L"SetSmartFanMode";
    bool setFails = std::wstring(failing) != L"GetSmartFanMode";
    Outcome get = Get(f.client);
    if (getFails) {
      EXPECT_EQ(get.mode, -1);
      EXPECT_EQ(get.stdoutText, lines);
      EXPECT_TRUE(get.logLines.empty());
    }
    Outcome set = Set(f.client, 3);
    if (setFails) {
      EXPECT_EQ(set.stdoutText, lines);
      EXPECT_EQ(set.logLines, (Texts{"SysAllocString failed. Out of memory. ", " [-] Err: xxx"}));
    }
  }
  // The query string is not checked: WMI refuses the missing query instead.
  Fixture f;
  f.client.m_calls.allocString = [](const OLECHAR* text) -> BSTR {
    return std::wstring(text).rfind(L"Select", 0) == 0 ? nullptr : SysAllocString(text);
  };
  Outcome get = Get(f.client);
  EXPECT_EQ(get.mode, -1);
  EXPECT_EQ(get.logLines, Upto(kGetTrace, 1, {" [-] Err: ExecQuery"}));
  EXPECT_EQ(f.zone.m_journal.liveObjects, 0);
}

TEST(GameZoneClientTest, AThreadInTheOtherApartmentFailsAtCoInitializeAndKeepsItsCom) {
  Fixture f;
  Outcome outcome;
  HRESULT stillMultithreaded = E_FAIL;
  std::thread([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    outcome = Get(f.client);
    stillMultithreaded = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CoUninitialize();
    CoUninitialize();
  }).join();
  EXPECT_EQ(outcome.mode, -1);
  EXPECT_EQ(outcome.logLines,
            (Texts{"CoInitialize returned 0x80010106:", " [-] Err: CoInitialize"}));
  EXPECT_TRUE(f.zone.m_journal.calls.empty());
  EXPECT_EQ(stillMultithreaded, S_FALSE);
}

// Wine's WMI: root\wmi connects, and the class has no instance there.
TEST(GameZoneClientTest, RealWmiWithoutTheClassEndsAtNext) {
  const Texts trace = {" ConnectServer returned 0x0:", " [-] Err: Next"};
  CGameZoneClient client;
  for (int call = 0; call < 2; ++call) {  // each call connects anew
    Outcome get = Get(client);
    EXPECT_EQ(get.mode, -1);
    // Wine's COM security never fails; Windows' fails after the first call.
    std::string security = "CoInitializeSecurity returned 0x80010119:\n[-] Err: CoInitializeSecurity";
    std::string text = get.stdoutText;
    if (text.rfind(security, 0) == 0) text = text.substr(security.size());
    EXPECT_EQ(text, Joined(trace));
  }
  Outcome set = Set(client, 3);
  EXPECT_NE(set.stdoutText.find(Joined(trace)), std::string::npos);
  EXPECT_EQ(Texts(set.logLines.end() - 2, set.logLines.end()), trace);
}

// The VARIANT owner the client reads into: what it holds goes back before
// it is handed out as an out-parameter, and when it goes.
TEST(VariantOwnerTest, ClearsWhenHandedOutAndWhenItGoes) {
  CFakeJournal journal;
  {
    CVariant value;
    value.vt = VT_UNKNOWN;
    value.punkVal = new CFakeComObject<IUnknown>(&journal, "first");
    VARIANT* out = value.Put();
    EXPECT_EQ(journal.released, Texts{"first"});
    out->vt = VT_UNKNOWN;
    out->punkVal = new CFakeComObject<IUnknown>(&journal, "second");
  }
  EXPECT_EQ(journal.released, (Texts{"first", "second"}));
}

}  // namespace

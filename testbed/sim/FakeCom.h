// Building blocks of the fake COM worlds: a reference-counted object that
// answers QueryInterface for its interfaces and reports its end, the journal
// that collects what the code under test did to the objects, and the
// per-step failure switches.
#pragma once

#include <objbase.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

// Text of a GUID as the registry writes it: {BCDE0395-E52F-...}.
std::string GuidText(REFGUID guid);
// ASCII text of a wide string; "null" for a null pointer.
std::string Narrow(const wchar_t* text);

// What happened in one fake world, in order.
struct CFakeJournal {
  std::vector<std::string> calls;     // each call with its arguments
  std::vector<std::string> released;  // object names, when the last reference went
  int liveObjects = 0;
};

// Step failures: a step fails with its HRESULT from its nth call on.
template <class Step>
class CStepFailures {
 public:
  void Fail(Step step, HRESULT hr, int fromCall) { m_rules[step] = {hr, fromCall}; }
  void Clear() { m_rules.clear(); }
  int Calls(Step step) const {
    auto found = m_counts.find(step);
    return found == m_counts.end() ? 0 : found->second;
  }
  // Counts the call; S_OK or the failure to answer with.
  HRESULT Enter(Step step) {
    int call = ++m_counts[step];
    auto rule = m_rules.find(step);
    if (rule != m_rules.end() && call >= rule->second.fromCall) return rule->second.hr;
    return S_OK;
  }

 private:
  struct Rule {
    HRESULT hr;
    int fromCall;
  };
  std::map<Step, Rule> m_rules;
  std::map<Step, int> m_counts;
};

// IUnknown for a fake implementing Interfaces. The journal must outlive it.
template <class... Interfaces>
class CFakeComObject : public Interfaces... {
 public:
  CFakeComObject(CFakeJournal* journal, std::string name)
      : m_journal(journal), m_name(std::move(name)) {
    ++m_journal->liveObjects;
  }
  virtual ~CFakeComObject() { --m_journal->liveObjects; }
  CFakeComObject(const CFakeComObject&) = delete;
  CFakeComObject& operator=(const CFakeComObject&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == __uuidof(IUnknown)) {
      *object = static_cast<IUnknown*>(static_cast<First*>(this));
    } else {
      // Folded for the pointer it sets; its value is not needed.
      (void)((iid == __uuidof(Interfaces) ? (*object = static_cast<Interfaces*>(this), true) : false) ||
             ...);
    }
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --m_references;
    if (left == 0) {
      m_journal->released.push_back(m_name);
      delete this;
    }
    return left;
  }

 protected:
  CFakeJournal* const m_journal;
  const std::string m_name;

 private:
  using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;
  ULONG m_references = 1;
};

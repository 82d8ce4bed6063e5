// Screen readers on Windows: the window's text through UI Automation, which
// Narrator, NVDA and JAWS read. The window answers UI Automation's
// WM_GETOBJECT with a provider of its own, and in it one text element whose
// name is what the window shows and whose live setting is polite. Each new
// text raises one event, so that a screen reader speaks it once without the
// focus moving: a notification where Windows has them (1709 and later),
// else a live-region change. NVDA and Narrator speak both, so raising both
// would say each hint twice (docs/libraries.md).
//
// uiautomationcore.dll is loaded when the first frame is presented, not
// linked: mingw-w64 has no import library for it, and a Windows without it
// runs as before, unread.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <ole2.h>
#include <uiautomationclient.h>
#include <uiautomationcore.h>
#include <windows.h>

#include <mutex>
#include <string>

#include "access.hpp"
#include "sdl.hpp"

namespace {

// What mingw-w64's headers lack (uiautomationcoreapi.h, which has the first
// two, is not valid C++: a parameter there is named `new`).
const LONG root_object_id = -25;            // UiaRootObjectId
const int append_runtime_id = 3;            // UiaAppendRuntimeId
const EVENTID live_region_changed = 20024;  // UIA_LiveRegionChangedEventId
const CONTROLTYPEID text_control = 50020;   // UIA_TextControlTypeId
const int polite = 1;                       // LiveSetting's Polite
const int notification_other = 4;           // NotificationKind_Other
const int most_recent = 3;                  // NotificationProcessing_MostRecent

// uiautomationcore.dll's functions, found at run time.
using ReturnProvider = LRESULT(WINAPI*)(HWND, WPARAM, LPARAM, IRawElementProviderSimple*);
using HostProvider = HRESULT(WINAPI*)(HWND, IRawElementProviderSimple**);
using RaiseEvent = HRESULT(WINAPI*)(IRawElementProviderSimple*, EVENTID);
using RaiseNotification = HRESULT(WINAPI*)(IRawElementProviderSimple*, int, int, BSTR, BSTR);
ReturnProvider return_provider = nullptr;
HostProvider host_provider = nullptr;
RaiseEvent raise_event = nullptr;
RaiseNotification raise_notification = nullptr;  // from Windows 10 1709 on

HWND window = nullptr;
WNDPROC sdl_window_proc = nullptr;
// UI Automation reads these on threads of its own, under the lock: the
// title is read once, on the game's thread, since asking the window from
// another thread would wait for the game's. Made once and never freed, as
// UI Automation may still read them while the process exits.
struct Shown {
  std::mutex lock;
  std::wstring title;
  std::wstring text;
};
Shown& shown = *new Shown;

std::wstring wide(const std::string& utf8) {
  std::wstring text(utf8.size(), L'\0');
  text.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(),
                                                      static_cast<int>(utf8.size()), text.data(),
                                                      static_cast<int>(text.size()))));
  return text;
}

// The window (`is_root`) or the text element in it. Both live as long as the
// process, so the reference counts need not be kept.
class Element final : public IRawElementProviderSimple,
                      public IRawElementProviderFragment,
                      public IRawElementProviderFragmentRoot {
 public:
  explicit Element(bool is_root) : is_root_(is_root) {}
  Element* other = nullptr;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) {
      return E_POINTER;
    }
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IRawElementProviderSimple)) {
      *out = static_cast<IRawElementProviderSimple*>(this);
    } else if (iid == __uuidof(IRawElementProviderFragment)) {
      *out = static_cast<IRawElementProviderFragment*>(this);
    } else if (iid == __uuidof(IRawElementProviderFragmentRoot) && is_root_) {
      *out = static_cast<IRawElementProviderFragmentRoot*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE get_ProviderOptions(ProviderOptions* options) override {
    *options = ProviderOptions_ServerSideProvider;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID /*pattern*/, IUnknown** out) override {
    *out = nullptr;
    return S_OK;
  }
  // The window's type and place come from its HWND, and so would its name
  // on Windows, but not on every UI Automation (Wine's).
  HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID property, VARIANT* value) override {
    value->vt = VT_EMPTY;
    if (is_root_ && property == UIA_NamePropertyId) {
      const std::lock_guard<std::mutex> hold(shown.lock);
      return text_value(shown.title, value);
    }
    if (is_root_) {
      return S_OK;
    }
    switch (property) {
      case UIA_NamePropertyId: {
        const std::lock_guard<std::mutex> hold(shown.lock);
        return text_value(shown.text, value);
      }
      case UIA_ControlTypePropertyId:
        value->vt = VT_I4;
        value->lVal = text_control;
        break;
      case UIA_LiveSettingPropertyId:
        value->vt = VT_I4;
        value->lVal = polite;
        break;
      case UIA_AutomationIdPropertyId:
        return text_value(L"hint", value);
      default:
        break;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_HostRawElementProvider(IRawElementProviderSimple** out) override {
    *out = nullptr;
    return is_root_ ? host_provider(window, out) : S_OK;
  }

  HRESULT STDMETHODCALLTYPE Navigate(NavigateDirection direction,
                                     IRawElementProviderFragment** out) override {
    const bool down =
        direction == NavigateDirection_FirstChild || direction == NavigateDirection_LastChild;
    const bool to_other = is_root_ ? down : direction == NavigateDirection_Parent;
    *out = to_other ? static_cast<IRawElementProviderFragment*>(other) : nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRuntimeId(SAFEARRAY** out) override {
    *out = nullptr;
    if (is_root_) {
      return S_OK;  // the HWND's
    }
    *out = SafeArrayCreateVector(VT_I4, 0, 2);
    if (*out == nullptr) {
      return E_OUTOFMEMORY;
    }
    LONG* id = nullptr;
    SafeArrayAccessData(*out, reinterpret_cast<void**>(&id));
    id[0] = append_runtime_id;
    id[1] = 1;
    SafeArrayUnaccessData(*out);
    return S_OK;
  }
  // The text element is all the window shows, so it covers all of it.
  HRESULT STDMETHODCALLTYPE get_BoundingRectangle(UiaRect* rect) override {
    *rect = UiaRect{};
    RECT client{};
    POINT origin{};
    if (!is_root_ && GetClientRect(window, &client) != 0 && ClientToScreen(window, &origin) != 0) {
      *rect = UiaRect{static_cast<double>(origin.x), static_cast<double>(origin.y),
                      static_cast<double>(client.right), static_cast<double>(client.bottom)};
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetEmbeddedFragmentRoots(SAFEARRAY** out) override {
    *out = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetFocus() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_FragmentRoot(IRawElementProviderFragmentRoot** out) override {
    *out = is_root_ ? this : other;
    return S_OK;
  }

  // Wherever the pointer is in the window, and whenever it has the focus,
  // it is the text that a screen reader reads.
  HRESULT STDMETHODCALLTYPE ElementProviderFromPoint(double /*x*/, double /*y*/,
                                                     IRawElementProviderFragment** out) override {
    *out = other;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetFocus(IRawElementProviderFragment** out) override {
    *out = other;
    return S_OK;
  }

 private:
  static HRESULT text_value(const std::wstring& text, VARIANT* value) {
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return value->bstrVal != nullptr ? S_OK : E_OUTOFMEMORY;
  }

  bool is_root_;
};

Element root(true);
Element hint(false);

LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_GETOBJECT && static_cast<LONG>(lparam) == root_object_id) {
    return return_provider(hwnd, wparam, lparam, &root);
  }
  if (message == WM_DESTROY) {
    return_provider(hwnd, 0, 0, nullptr);  // UI Automation lets go of the providers
  }
  return CallWindowProcW(sdl_window_proc, hwnd, message, wparam, lparam);
}

template <typename Function>
Function find(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

}  // namespace

// The window answers UI Automation from now on, if Windows has it.
bool zan_access_start() {
  const HMODULE library =
      LoadLibraryExW(L"uiautomationcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  window = static_cast<HWND>(zan_sdl_window_handle());
  if (library == nullptr || window == nullptr) {
    return false;
  }
  return_provider = find<ReturnProvider>(library, "UiaReturnRawElementProvider");
  host_provider = find<HostProvider>(library, "UiaHostProviderFromHwnd");
  raise_event = find<RaiseEvent>(library, "UiaRaiseAutomationEvent");
  raise_notification = find<RaiseNotification>(library, "UiaRaiseNotificationEvent");
  if (return_provider == nullptr || host_provider == nullptr || raise_event == nullptr) {
    return false;
  }
  std::wstring title(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  title.resize(
      static_cast<size_t>(GetWindowTextW(window, title.data(), static_cast<int>(title.size()))));
  {
    const std::lock_guard<std::mutex> hold(shown.lock);
    shown.title = title;
  }
  root.other = &hint;
  hint.other = &root;
  // Win32 hands the old procedure back as an integer.
  sdl_window_proc = reinterpret_cast<WNDPROC>(  // NOLINT(performance-no-int-to-ptr)
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(window_proc)));
  return true;
}

void zan_access_changed(const std::string& text) {
  const std::wstring now = wide(text);
  {
    const std::lock_guard<std::mutex> hold(shown.lock);
    shown.text = now;
  }
  if (raise_notification == nullptr) {
    raise_event(&hint, live_region_changed);
    return;
  }
  BSTR const said = SysAllocString(now.c_str());
  BSTR const activity = SysAllocString(L"zan-demo.hint");
  raise_notification(&hint, notification_other, most_recent, said, activity);
  SysFreeString(said);
  SysFreeString(activity);
}

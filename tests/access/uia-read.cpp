// Prints what a screen reader reads of zan-demo's window through UI
// Automation, as a client of UI Automation's own API, one line:
//   WINDOW NAME|FIRST CHILD'S NAME|its control type|its live setting
// or nothing while no window of that title is open. Built with mingw-w64
// and run under Wine by the Windows build's tests (tests/windows).
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <ole2.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// UI Automation's client API, which mingw-w64 does not declare.
using Node = void*;
struct Condition {
  int type;  // ConditionType_True: 0
};
struct CacheRequest {
  Condition* view;
  int scope;  // TreeScope_Element: 1
  int* properties;
  int property_count;
  int* patterns;
  int pattern_count;
  int mode;  // AutomationElementMode_Full: 1
};
HRESULT(WINAPI* node_from_handle)(HWND, Node*);
HRESULT(WINAPI* property_value)(Node, int, VARIANT*);
HRESULT(WINAPI* navigate)(Node, int, Condition*, CacheRequest*, SAFEARRAY**, BSTR*);
HRESULT(WINAPI* node_from_variant)(VARIANT*, Node*);

template <typename Function>
void find(HMODULE library, const char* name, Function& function) {
  function =
      reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

std::string property(Node node, int id) {
  VARIANT value;
  VariantInit(&value);
  if (node == nullptr || FAILED(property_value(node, id, &value))) {
    return "?";
  }
  std::string text;
  if (value.vt == VT_BSTR) {
    text.resize(static_cast<size_t>(SysStringLen(value.bstrVal)) * 3);
    text.resize(static_cast<size_t>(WideCharToMultiByte(
        CP_UTF8, 0, value.bstrVal, static_cast<int>(SysStringLen(value.bstrVal)), text.data(),
        static_cast<int>(text.size()), nullptr, nullptr)));
  } else if (value.vt == VT_I4) {
    text = value.lVal == 50020              ? "text"
           : id == 30135 && value.lVal == 1 ? "polite"
                                            : std::to_string(value.lVal);
  } else {
    text = "vt " + std::to_string(value.vt);
  }
  VariantClear(&value);
  return text;
}

}  // namespace

int main() {
  _setmode(_fileno(stdout), _O_BINARY);  // a line ends as on Linux, where it is read
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  const HMODULE library = LoadLibraryW(L"uiautomationcore.dll");
  const HWND window = FindWindowW(nullptr, L"windowname");
  if (library == nullptr || window == nullptr) {
    return 0;
  }
  find(library, "UiaNodeFromHandle", node_from_handle);
  find(library, "UiaGetPropertyValue", property_value);
  find(library, "UiaNavigate", navigate);
  find(library, "UiaHUiaNodeFromVariant", node_from_variant);
  Node root = nullptr;
  Node child = nullptr;
  Condition all{0};
  CacheRequest request{&all, 1, nullptr, 0, nullptr, 0, 1};
  SAFEARRAY* found = nullptr;
  BSTR tree = nullptr;
  const int first_child = 3;
  if (SUCCEEDED(node_from_handle(window, &root)) &&
      SUCCEEDED(navigate(root, first_child, &all, &request, &found, &tree)) && found != nullptr) {
    LONG at[2] = {0, 0};
    VARIANT node;
    VariantInit(&node);
    SafeArrayGetElement(found, at, &node);
    node_from_variant(&node, &child);
  }
  const int name = 30005;
  const int control_type = 30003;
  const int live_setting = 30135;
  std::printf("%s|%s|%s|%s\n", property(root, name).c_str(), property(child, name).c_str(),
              property(child, control_type).c_str(), property(child, live_setting).c_str());
  return 0;
}

// Raw keyboard input on Windows: a hidden window registered for the
// keyboard with RIDEV_INPUTSINK, so records arrive whichever program has
// the focus, and its message loop.
#include "platform/rawkeys.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <memory>
#include <new>

namespace afp {
namespace {

RawKeyboardSink* g_sink = nullptr;

bool register_raw_keyboard(HWND window) {
  RAWINPUTDEVICE device{};
  device.usUsagePage = 1;  // generic desktop
  device.usUsage = 6;      // keyboard
  device.dwFlags = RIDEV_INPUTSINK | RIDEV_NOLEGACY;
  device.hwndTarget = window;
  return RegisterRawInputDevices(&device, 1, sizeof device) != FALSE;
}

void unregister_raw_keyboard() {
  RAWINPUTDEVICE device{};
  device.usUsagePage = 1;
  device.usUsage = 6;
  device.dwFlags = RIDEV_REMOVE;
  device.hwndTarget = nullptr;
  RegisterRawInputDevices(&device, 1, sizeof device);
}

void handle_input(LPARAM lparam) {
  const auto handle = reinterpret_cast<HRAWINPUT>(lparam);
  UINT size = 0;
  if (GetRawInputData(handle, RID_INPUT, nullptr, &size, sizeof(RAWINPUTHEADER)) != 0) return;
  if (size < sizeof(RAWINPUTHEADER)) return;
  std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[size]);
  if (!buffer) return;
  if (GetRawInputData(handle, RID_INPUT, buffer.get(), &size, sizeof(RAWINPUTHEADER)) != size) {
    return;  // not fetched whole: dropped
  }
  const auto* input = reinterpret_cast<const RAWINPUT*>(buffer.get());
  if (input->header.dwType != RIM_TYPEKEYBOARD) return;
  if (size < sizeof(RAWINPUTHEADER) + sizeof(RAWKEYBOARD)) return;
  RawKeyRecord record;
  record.vkey = input->data.keyboard.VKey;
  record.flags = input->data.keyboard.Flags;
  g_sink->key_record(record);
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
    case WM_CLOSE:
    case WM_QUERYENDSESSION:
      g_sink->window_ending();
      break;
    case WM_INPUT:
      handle_input(lparam);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

RawKeyboardEnd run_raw_keyboard(RawKeyboardSink& sink) {
  g_sink = &sink;
  const HINSTANCE instance = GetModuleHandleW(nullptr);

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = window_proc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = instance;
  // The system's application icon and arrow cursor (IDI_APPLICATION,
  // IDC_ARROW), spelled for the wide calls whatever UNICODE says.
  wc.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));
  wc.hIconSm = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = L"af_window";
  if (!RegisterClassExW(&wc)) return RawKeyboardEnd::class_failed;

  HWND window = CreateWindowExW(0, L"af_window", L"title", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                instance, nullptr);
  if (!window) return RawKeyboardEnd::window_failed;
  ShowWindow(window, SW_HIDE);

  register_raw_keyboard(window);  // a failure leaves the loop without key records

  // GetMessageW gives -1 on an error; that ends the loop as well rather
  // than spinning on it.
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  unregister_raw_keyboard();
  return RawKeyboardEnd::loop_ended;
}

}  // namespace afp

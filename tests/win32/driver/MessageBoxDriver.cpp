// Runs a GUI program and plays the player's part for its message boxes: each
// box is reported on stdout, then answered from the scripted list.
//
//   mbdriver.exe [--hold PATH] [--timeout SEC] [--mark-dir DIR] EXE [ANSWER...]
//
// ANSWER is yes, no or ok. Output, UTF-8, one record a line, fields split by
// tabs (tab, CR and LF in texts written as \t \r \n):
//   BOX <caption> <text> <buttons: yesno|ok|other> <icon: question|information|warning|error|none|unknown>
//   EXIT <exit code as a signed 32-bit number: -1, not 4294967295>
//   ERROR <why>
// --hold opens PATH for reading, sharing reads only, for the whole run: the
// game holding its archive. --mark-dir creates DIR\box<k> ("x y width height"
// of box k, k from 1) and waits until it is deleted, so a script can take a
// screenshot while the box is up.
// With MES_RUN_LOG set, each start also appends "<image> <wow64> <exe>" to that
// file (image pe32 or pe32+, wow64 1 when the child runs as 32-bit code on a
// 64-bit system), so a test run can say which build it really executed.
// The driver exits 0 when the program ran to its end and every box matched the
// scripted answers, 1 on an unscripted box or unused answers, 2 on a timeout
// (the program is killed) and 3 when it could not start.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Options {
  std::wstring hold_path;
  std::wstring mark_dir;
  DWORD timeout_ms = 60000;
  std::wstring exe;
  std::vector<std::wstring> answers;
};

void WriteUtf8(const std::wstring& line) {
  std::wstring with_newline = line + L"\n";
  int size = WideCharToMultiByte(CP_UTF8, 0, with_newline.c_str(),
                                 static_cast<int>(with_newline.size()), nullptr, 0, nullptr,
                                 nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, with_newline.c_str(), static_cast<int>(with_newline.size()),
                      &bytes[0], size, nullptr, nullptr);
  // Unbuffered, so a script reading a killed run still sees every record.
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
}

void Error(const std::wstring& why) { WriteUtf8(L"ERROR\t" + why); }

std::wstring Escape(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    switch (c) {
      case L'\t': out += L"\\t"; break;
      case L'\r': out += L"\\r"; break;
      case L'\n': out += L"\\n"; break;
      default: out += c;
    }
  }
  return out;
}

std::wstring WindowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  length = GetWindowTextW(window, &text[0], length + 1);
  text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
  return text;
}

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// "pe32" or "pe32+" from the optional header's magic; "unknown" otherwise.
std::string ImageKind(const std::wstring& exe) {
  std::string kind = "unknown";
  HANDLE file = CreateFileW(exe.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kind;
  unsigned char header[1024] = {};
  DWORD got = 0;
  if (ReadFile(file, header, sizeof header, &got, nullptr) && got >= 64) {
    DWORD pe = header[60] | header[61] << 8 | header[62] << 16 | static_cast<DWORD>(header[63]) << 24;
    if (pe + 26 <= got && header[pe] == 'P' && header[pe + 1] == 'E') {
      unsigned magic = header[pe + 24] | header[pe + 25] << 8;
      if (magic == 0x10b) kind = "pe32";
      if (magic == 0x20b) kind = "pe32+";
    }
  }
  CloseHandle(file);
  return kind;
}

void LogStart(const std::wstring& exe, HANDLE process) {
  const wchar_t* log = _wgetenv(L"MES_RUN_LOG");
  if (log == nullptr || *log == 0) return;
  BOOL wow64 = FALSE;
  IsWow64Process(process, &wow64);
  std::wstring line = std::wstring(exe) + L"\n";
  int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr,
                                 0, nullptr, nullptr);
  std::string text = ImageKind(exe) + (wow64 ? " 1 " : " 0 ");
  std::string path(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &path[0], size,
                      nullptr, nullptr);
  text += path;
  HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

bool ParseOptions(int argc, wchar_t** argv, Options* options) {
  int i = 1;
  for (; i < argc; ++i) {
    std::wstring arg = argv[i];
    if (arg.rfind(L"--", 0) != 0) break;
    if (i + 1 >= argc) return false;
    if (arg == L"--hold") {
      options->hold_path = argv[++i];
    } else if (arg == L"--mark-dir") {
      options->mark_dir = argv[++i];
    } else if (arg == L"--timeout") {
      options->timeout_ms = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10) * 1000);
    } else {
      return false;
    }
  }
  if (i >= argc) return false;
  options->exe = argv[i++];
  for (; i < argc; ++i) {
    std::wstring answer = argv[i];
    if (answer != L"yes" && answer != L"no" && answer != L"ok") return false;
    options->answers.push_back(answer);
  }
  return true;
}

struct FindBox {
  DWORD process_id;
  HWND found;
};

BOOL CALLBACK FindBoxProc(HWND window, LPARAM param) {
  FindBox* find = reinterpret_cast<FindBox*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != find->process_id || !IsWindowVisible(window)) return TRUE;
  if (ClassName(window) != L"#32770") return TRUE;
  find->found = window;
  return FALSE;
}

HWND FindMessageBox(DWORD process_id) {
  FindBox find{process_id, nullptr};
  EnumWindows(FindBoxProc, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

struct StaticTexts {
  std::wstring text;
};

BOOL CALLBACK CollectStaticProc(HWND child, LPARAM param) {
  if (ClassName(child) != L"Static") return TRUE;
  if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return TRUE;
  std::wstring text = WindowText(child);
  if (!text.empty()) {
    reinterpret_cast<StaticTexts*>(param)->text = text;
    return FALSE;
  }
  return TRUE;
}

// Windows and Wine both give the message's static the id 0xFFFF; any other
// host still has it as the one text-bearing static.
std::wstring MessageText(HWND box) {
  HWND text_control = GetDlgItem(box, 0xFFFF);
  if (text_control != nullptr) return WindowText(text_control);
  StaticTexts texts;
  EnumChildWindows(box, CollectStaticProc, reinterpret_cast<LPARAM>(&texts));
  return texts.text;
}

BOOL CALLBACK FindIconStaticProc(HWND child, LPARAM param) {
  if (ClassName(child) == L"Static" &&
      (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child)) {
    *reinterpret_cast<HWND*>(param) = child;
    return FALSE;
  }
  return TRUE;
}

// 32-bit pixels of a screen rectangle.
std::vector<DWORD> CapturePixels(HDC source, int x, int y, int width, int height) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, source != nullptr ? source : screen, x, y, SRCCOPY);
  GdiFlush();
  const DWORD* pixels = static_cast<const DWORD*>(bits);
  std::vector<DWORD> out(pixels, pixels + width * height);
  for (DWORD& pixel : out) pixel &= 0x00FFFFFF;
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return out;
}

// The stock icon drawn the way the box's icon static draws it, on the
// background colour the box showed in the static's corner.
std::vector<DWORD> RenderIcon(LPCWSTR stock, int width, int height, DWORD background) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  HBRUSH brush = CreateSolidBrush(RGB(GetBValue(background), GetGValue(background),
                                      GetRValue(background)));
  RECT all = {0, 0, width, height};
  FillRect(memory, &all, brush);
  DeleteObject(brush);
  DrawIconEx(memory, 0, 0, LoadIconW(nullptr, stock), width, height, 0, nullptr, DI_NORMAL);
  std::vector<DWORD> out = CapturePixels(memory, 0, 0, width, height);
  SelectObject(memory, previous);
  ReleaseDC(nullptr, screen);
  DeleteObject(bitmap);
  DeleteDC(memory);
  return out;
}

// Another process's icon handle cannot be examined here (under Wine it is
// that process's object), so the icon is matched by its pixels on screen.
std::wstring IconOf(HWND box) {
  HWND icon_static = nullptr;
  EnumChildWindows(box, FindIconStaticProc, reinterpret_cast<LPARAM>(&icon_static));
  if (icon_static == nullptr) return L"none";
  RECT rect;
  GetWindowRect(icon_static, &rect);
  int width = GetSystemMetrics(SM_CXICON);
  int height = GetSystemMetrics(SM_CYICON);
  if (rect.right - rect.left < width || rect.bottom - rect.top < height) return L"unknown";

  struct Candidate {
    const wchar_t* name;
    LPCWSTR stock;
  };
  // The stock ids (IDI_QUESTION...), as the wide form the ANSI headers lack.
  const Candidate candidates[] = {{L"question", MAKEINTRESOURCEW(32514)},
                                  {L"information", MAKEINTRESOURCEW(32516)},
                                  {L"warning", MAKEINTRESOURCEW(32515)},
                                  {L"error", MAKEINTRESOURCEW(32513)}};
  // The box may not be painted yet when it turns visible.
  for (int attempt = 0; attempt < 20; ++attempt) {
    std::vector<DWORD> shown = CapturePixels(nullptr, rect.left, rect.top, width, height);
    for (const Candidate& candidate : candidates) {
      if (RenderIcon(candidate.stock, width, height, shown[0]) == shown) return candidate.name;
    }
    Sleep(100);
  }
  return L"unknown";
}

std::wstring ButtonsOf(HWND box) {
  if (GetDlgItem(box, IDYES) != nullptr && GetDlgItem(box, IDNO) != nullptr) return L"yesno";
  if (GetDlgItem(box, IDOK) != nullptr && GetDlgItem(box, IDYES) == nullptr) return L"ok";
  return L"other";
}

bool WaitUntil(DWORD deadline, HANDLE process, bool (*done)(const void*), const void* arg) {
  while (!done(arg)) {
    if (GetTickCount() >= deadline) return false;
    if (process != nullptr && WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return true;
    Sleep(50);
  }
  return true;
}

bool MarkDeleted(const void* path) {
  return GetFileAttributesW(static_cast<const std::wstring*>(path)->c_str()) ==
         INVALID_FILE_ATTRIBUTES;
}

bool BoxGone(const void* box) {
  HWND window = *static_cast<const HWND*>(box);
  return !IsWindow(window) || !IsWindowVisible(window);
}

bool WriteMark(const std::wstring& path, HWND box) {
  RECT rect;
  GetWindowRect(box, &rect);
  char line[96];
  int length = std::snprintf(line, sizeof line, "%ld %ld %ld %ld\n", rect.left, rect.top,
                             rect.right - rect.left, rect.bottom - rect.top);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
  CloseHandle(file);
  return ok != FALSE;
}

int Run(const Options& options) {
  HANDLE held = INVALID_HANDLE_VALUE;
  if (!options.hold_path.empty()) {
    held = CreateFileW(options.hold_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
      Error(L"cannot hold " + options.hold_path + L": " + std::to_wstring(GetLastError()));
      return 3;
    }
  }

  std::wstring command_line = L"\"" + options.exe + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(options.exe.c_str(), &command_line[0], nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    Error(L"cannot start " + options.exe + L": " + std::to_wstring(GetLastError()));
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    return 3;
  }
  CloseHandle(process.hThread);
  LogStart(options.exe, process.hProcess);

  int status = 0;
  std::size_t next_answer = 0;
  int box_count = 0;
  DWORD deadline = GetTickCount() + options.timeout_ms;
  bool timed_out = false;
  while (WaitForSingleObject(process.hProcess, 50) != WAIT_OBJECT_0) {
    if (GetTickCount() >= deadline) {
      timed_out = true;
      break;
    }
    HWND box = FindMessageBox(process.dwProcessId);
    if (box == nullptr) continue;
    ++box_count;
    std::wstring buttons = ButtonsOf(box);
    WriteUtf8(L"BOX\t" + Escape(WindowText(box)) + L"\t" + Escape(MessageText(box)) + L"\t" +
              buttons + L"\t" + IconOf(box));

    if (!options.mark_dir.empty()) {
      std::wstring mark = options.mark_dir + L"\\box" + std::to_wstring(box_count);
      if (!WriteMark(mark, box)) {
        Error(L"cannot write " + mark);
        status = 1;
      } else if (!WaitUntil(deadline, nullptr, MarkDeleted, &mark)) {
        timed_out = true;
        break;
      }
    }

    std::wstring answer;
    if (next_answer < options.answers.size()) {
      answer = options.answers[next_answer++];
    } else if (buttons == L"ok") {
      answer = L"ok";
    } else {
      // Nobody scripted this question: decline, the safe choice, and fail.
      Error(L"unscripted question, answering no");
      answer = L"no";
      status = 1;
    }
    int id = answer == L"yes" ? IDYES : answer == L"no" ? IDNO : IDOK;
    HWND button = GetDlgItem(box, id);
    if (button == nullptr) {
      Error(L"box has no " + answer + L" button");
      status = 1;
      // Escape closes a box with any buttons, so the run can go on.
      id = buttons == L"yesno" ? IDNO : IDOK;
      button = GetDlgItem(box, id);
    }
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    if (!WaitUntil(deadline, process.hProcess, BoxGone, &box)) {
      timed_out = true;
      break;
    }
  }

  if (timed_out) {
    Error(L"timeout: killing the program");
    TerminateProcess(process.hProcess, 255);
    WaitForSingleObject(process.hProcess, 5000);
    status = 2;
  } else {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    WriteUtf8(L"EXIT\t" + std::to_wstring(static_cast<int>(code)));
    if (next_answer < options.answers.size()) {
      Error(L"unused answers: " + std::to_wstring(options.answers.size() - next_answer));
      status = 1;
    }
  }
  CloseHandle(process.hProcess);
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  return status;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  Options options;
  if (argv == nullptr || !ParseOptions(argc, argv, &options)) {
    Error(L"usage: mbdriver [--hold PATH] [--timeout SEC] [--mark-dir DIR] EXE [yes|no|ok...]");
    return 3;
  }
  LocalFree(argv);
  return Run(options);
}

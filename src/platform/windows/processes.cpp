#include "platform/processes.hpp"

#include <csignal>
#include <map>

#include "windows/common.hpp"

namespace pellucor::platform {

using windows::Handle;
using windows::wide;

namespace {

// One argument as the C library's parser of a command line reads it back.
std::wstring quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring q = L"\"";
  for (std::size_t i = 0;; ++i) {
    std::size_t backslashes = 0;
    while (i < arg.size() && arg[i] == L'\\') {
      ++i;
      ++backslashes;
    }
    if (i == arg.size()) {
      q.append(backslashes * 2, L'\\');
      break;
    }
    if (arg[i] == L'"') {
      q.append(backslashes * 2 + 1, L'\\');
    } else {
      q.append(backslashes, L'\\');
    }
    q += arg[i];
  }
  q += L'"';
  return q;
}

Handle inheritable(const std::wstring& name, bool write) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return Handle(CreateFileW(name.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                            write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The environment block with the additions in place of the variables they name (names in
// any case are one).
std::wstring environment_block(const std::vector<std::string>& additions) {
  std::map<std::wstring, std::wstring> vars;
  auto upper = [](std::wstring s) {
    if (!s.empty()) CharUpperBuffW(s.data(), static_cast<DWORD>(s.size()));
    return s;
  };
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* p = block; *p != L'\0'; p += wcslen(p) + 1) {
      const std::wstring entry = p;
      const auto eq = entry.find(L'=', 1);
      vars[upper(entry.substr(0, eq))] = entry;
    }
    FreeEnvironmentStringsW(block);
  }
  for (const auto& add : additions) {
    const std::wstring entry = wide(add);
    vars[upper(entry.substr(0, entry.find(L'=')))] = entry;
  }
  std::wstring out;
  for (const auto& [name, entry] : vars) {
    out += entry;
    out += L'\0';
  }
  out += L'\0';
  return out;
}

void (*terminationHandler)(int) = nullptr;

BOOL WINAPI on_console_event(DWORD event) {
  if (terminationHandler != nullptr &&
      (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT)) {
    terminationHandler(SIGINT);
  }
  return FALSE;  // then the default: the program ends
}

}  // namespace

ProcessOutcome run_process(const ProcessRun& run) {
  ProcessOutcome r;
  if (run.command.empty()) {
    r.failure = "no program";
    return r;
  }
  std::wstring line;
  for (const auto& a : run.command) {
    if (!line.empty()) line += L' ';
    line += quoted(wide(a));
  }
  Handle in = inheritable(run.input.empty() ? L"NUL" : wide(run.input), false);
  Handle out = inheritable(wide(run.output), true);
  Handle err = inheritable(wide(run.error), true);
  if (!in.valid() || !out.valid() || !err.valid()) {
    r.failure = "cannot open the files of the standard streams";
    return r;
  }
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in.get();
  si.hStdOutput = out.get();
  si.hStdError = err.get();
  PROCESS_INFORMATION pi{};
  std::wstring env = environment_block(run.environment);
  const std::wstring program = wide(run.command[0]);
  const std::wstring folder = wide(run.folder);
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                      CREATE_UNICODE_ENVIRONMENT, env.data(),
                      folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
    r.failure =
        "cannot start " + run.command[0] + ": Windows error " + std::to_string(GetLastError());
    return r;
  }
  Handle process(pi.hProcess);
  Handle thread(pi.hThread);
  r.started = true;
  const DWORD wait = run.limit ? static_cast<DWORD>(run.limit->count()) : INFINITE;
  if (WaitForSingleObject(process.get(), wait) == WAIT_TIMEOUT) {
    r.killed = true;
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), INFINITE);
    r.status = -1;
    return r;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  r.status = static_cast<int>(code);
  return r;
}

long current_process_id() {
  return static_cast<long>(GetCurrentProcessId());
}

void on_termination(void (*handler)(int)) {
  terminationHandler = handler;
  SetConsoleCtrlHandler(on_console_event, TRUE);
}

}  // namespace pellucor::platform

#include "platform/temporary_files.hpp"

#include <fcntl.h>
#include <io.h>

#include "windows/common.hpp"

namespace pellucor::platform {

std::string temporary_folder() {
  wchar_t buffer[MAX_PATH + 2];
  const DWORD n = GetTempPathW(MAX_PATH + 2, buffer);
  if (n == 0 || n > MAX_PATH + 1) return ".";
  std::wstring folder(buffer, n);
  while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  return windows::narrow(folder);
}

int scratch_file(std::string& error) {
  const std::string folder = temporary_folder();
  const std::wstring wfolder = windows::wide(folder);
  // A name that says whose it is; deleted by the system when its last handle closes, which
  // includes the end of a killed program.
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::wstring name = wfolder + L"\\pellucor-input-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(GetTickCount64() + attempt) + L".tmp";
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) continue;
      error = "cannot keep the standard input in a temporary file in " + folder +
              ": Windows error " + std::to_string(code);
      return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
    if (fd < 0) {
      CloseHandle(h);
      error = "cannot keep the standard input in a temporary file in " + folder;
      return -1;
    }
    return fd;
  }
  error = "cannot keep the standard input in a temporary file in " + folder + ": no free name";
  return -1;
}
}  // namespace pellucor::platform

#include <windows.h>

#include <cstdio>

#include "shell/window/Console.h"

namespace {

bool HasOutput() {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  return output != nullptr && output != INVALID_HANDLE_VALUE &&
         GetFileType(output) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void AttachToStartingConsole() {
  if (!HasOutput() && AttachConsole(ATTACH_PARENT_PROCESS)) {
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
  }
  if (GetConsoleWindow() != nullptr) SetConsoleOutputCP(CP_UTF8);
}

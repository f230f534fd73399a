// tavi: the Sonderzeichen plug-in's actions from the command line.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/TaviCli.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
// Arguments as UTF-8, whatever the console's code page.
std::vector<std::string> Arguments() {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide && i < count; ++i) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
    args.push_back(arg);
  }
  if (wide) LocalFree(wide);
  return args;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
#ifdef _WIN32
  (void)argc;
  (void)argv;
  // Text passes through byte for byte: no CR LF translation.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
  const std::vector<std::string> args = Arguments();
  const bool terminal = _isatty(_fileno(stderr)) != 0;
#else
  const std::vector<std::string> args(argv + 1, argv + argc);
  const bool terminal = isatty(STDERR_FILENO) != 0;
#endif
  try {
    return tavi::cli::RunTavi(args, {std::cin, std::cout, std::cerr, terminal});
  } catch (...) {
    // RunTavi answers every failure itself; this is the last line, so that
    // no argument can end the program with an abort.
    std::fputs("tavi: unexpected failure\n", stderr);
    return 2;
  }
}

// The one place where obrin-cli starts another program: execv on POSIX systems, so that the
// picture's exit status and messages are the command's own; std::system elsewhere.
#include "cli/sibling.hpp"

#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "symmetry/pot.hpp"

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#define OBRIN_HAVE_EXECV 1
#endif

namespace obrin::cli {

namespace {

constexpr int kCannotStart = 1;

std::filesystem::path siblingPath(const std::string& name) {
  std::filesystem::path dir = programDirectory();
#ifdef _WIN32
  return dir / (name + ".exe");
#else
  return dir / name;
#endif
}

#ifndef OBRIN_HAVE_EXECV
// A word for the command interpreter, quoted so that blanks and quotes stay in it.
std::string quoted(const std::string& word) {
  std::string q = "\"";
  for (char c : word) {
    if (c == '"' || c == '\\') q += '\\';
    q += c;
  }
  return q + "\"";
}
#endif

}  // namespace

int runSiblingProgram(const std::string& name, const std::vector<std::string>& args) {
  const std::filesystem::path program = siblingPath(name);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(program, ec)) {
    std::cerr << "obrin-cli: " << name << " is not installed beside obrin-cli (" << program.string() << ")\n";
    return kCannotStart;
  }
#ifdef OBRIN_HAVE_EXECV
  std::vector<std::string> words{program.string()};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  std::cerr << "obrin-cli: cannot start " << program.string() << "\n";
  return kCannotStart;
#else
  std::string command = quoted(program.string());
  for (const auto& a : args) command += " " + quoted(a);
  const int status = std::system(command.c_str());
  return status < 0 ? kCannotStart : status;
#endif
}

}  // namespace obrin::cli

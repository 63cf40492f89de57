// Running a program that is installed beside this one, with the same arguments.
#pragma once

#include <string>
#include <vector>

namespace obrin::cli {

// Replaces this process by the program `name` of this program's own folder, given args after
// its name; returns only when that fails, with the exit status to report (a message printed).
int runSiblingProgram(const std::string& name, const std::vector<std::string>& args);

}  // namespace obrin::cli

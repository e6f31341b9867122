// The program's command-line arguments as UTF-8, whatever the platform. Windows hands
// a program its command line in UTF-16; the narrow argv a C runtime makes of it has
// lost every character the ANSI code page lacks, so on Windows the arguments are taken
// from the UTF-16 command line instead. Elsewhere they are argv as it stands.
#pragma once
#include <string>
#include <vector>

namespace vx {

// argv[0] included. On Windows it also makes the console show the program's UTF-8
// output as such, for as long as the program runs.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace vx

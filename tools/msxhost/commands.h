// msxhost's commands, one file each under commands/: each takes the whole
// command line (the command is argv[1], the plug-in argv[2]) and answers
// the exit status.
#pragma once

#include <string>

namespace msxhost {

int cmd_catalogue(const std::string& path);
int cmd_run(int argc, char** argv);
int cmd_scan(int argc, char** argv);
int cmd_evaluate(int argc, char** argv);
int cmd_stress(const std::string& path);
int cmd_chart(int argc, char** argv);
int cmd_client(int argc, char** argv);

}  // namespace msxhost

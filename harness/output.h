// The end of a command-line tool's run: its standard output must have been
// written whole; and the files a command writes, checked before anything is
// written.
#pragma once

#include <string>
#include <vector>

namespace harness {

// Flushes standard output and checks that everything written to it arrived.
// 0 when it did; otherwise writes "TOOL: cannot write output: <reason>" to
// standard error and returns 1 (a full disk or a closed stream is a failure,
// whatever the command found).
int finish_output(const char* tool);

// The files of one command: what it reads and what it will write.
struct CommandFiles {
    std::vector<std::string> data;     // read, each at most once (the data files)
    std::vector<std::string> read;     // read too (the plug-in): never written over
    std::vector<std::string> written;  // every name written, after every suffix is added
};

// Whether a command may write its files: "" when it may, else why not,
// naming the files. Refused, before anything is written: an output that
// exists and is not a regular file (a FIFO nobody reads would hang the
// write; a device or a folder is no file to keep); an output that is an
// input or another output; a data file given twice. Two names are one file
// when they lead to one existing file (through links, other spellings, hard
// links: the same device and file number), or, for a file not yet made,
// when they are one path once made absolute, links followed and "." and
// ".." resolved. Sorting by identity keeps it n log n in the files.
std::string file_clash(const CommandFiles& files);

}  // namespace harness

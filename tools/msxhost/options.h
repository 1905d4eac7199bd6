// msxhost's command line: the usage text, the whole and decimal numbers it
// takes, and the one option parser every command reads its "--name value"
// pairs with, with the options that give a function its arguments.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace msxhost {

// Prints the usage on standard error; 2, the exit status of a usage error.
int usage();

// A whole number in [low, high], the whole text and nothing else.
// (64-bit in every build: long is 32-bit on Windows.)
bool whole_number(const std::string& text, long long low, long long high, long long* value);

// An option's whole number; a usage error (exit 2) names the option.
bool option_number(const std::string& option, const std::string& text, long long low, long long high,
                   long long* value);

// A number of the command line, read as a data file's prices are: decimal,
// finite, within a float's range (no "nan", "inf" or "0x1p4").
bool parse_number(const std::string& text, float* value);

// One option of a command ("--name value"): what takes its value; false for
// a bad value, which the taker has reported.
struct Option {
    const char* name;
    std::function<bool(const std::string&)> take;
};

// The one option parser: argv[from..] as pairs of the command's options.
// 0 when every option was taken; 2 for a bad value; the usage (2) for an
// unknown option or one without its value.
int parse_options(int argc, char** argv, int from, const std::vector<Option>& options);

// An option whose value is a whole number in [low, high].
Option number_option(const char* name, long long low, long long high, std::function<void(long long)> store);

// An option whose value is a text.
Option text_option(const char* name, std::string* value);

// An option that collects its values.
Option list_option(const char* name, std::vector<std::string>* values);

// A function's arguments as given on the command line.
struct FunctionArgs {
    std::string symbol = "SAMPLE";
    std::vector<float> numerics;
    std::vector<std::string> arrays, strings;
};

// The options that give a function argument (--symbol, --array, --num and,
// with `strings`, --str), at most 9 of each kind.
std::vector<Option> argument_options(FunctionArgs* args, bool strings);

}  // namespace msxhost

// Command lines of Zarvo's programs on CLI11: the same --help layout and
// --version everywhere, mistakes as one line, numbers read as people write
// them, and standard output that is known to have arrived.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

// Call before adding options: -h/--help, --version ("NAME VERSION"), the
// help layout (usage, the app's description, options with their defaults,
// the footer), the last of repeated values wins, and flags take no value.
void command_line_setup(CLI::App& app);

// Parses the arguments after the program name. --help and --version
// succeed and leave their text in *infoText for standard output; a mistake
// fails with a one-line reason in *error. Never exits.
bool command_line_parse(CLI::App& app, const std::vector<std::string>& args, std::string* infoText, std::string* error);

// A whole number written in decimal from lo to hi. It rewrites "010" as
// "10", which CLI11 alone would read as octal, so it goes to transform():
// check() keeps validators from changing the value.
CLI::Validator command_line_whole(uint64_t lo, uint64_t hi);

// A finite decimal number from lo to hi ("nan" and "inf" are refused).
CLI::Validator command_line_number(double lo = -std::numeric_limits<double>::max(),
                                   double hi = std::numeric_limits<double>::max());

// Refuses an empty value (--status "").
CLI::Validator command_line_not_empty();

// Writes text to standard output and flushes it (command_line_flush_stdout).
bool command_line_print(const char* program, const std::string& text);

// Flushes standard output. When any write to it failed, says so in one
// line on standard error ("PROGRAM: cannot write to standard output:
// REASON") and returns false.
bool command_line_flush_stdout(const char* program);

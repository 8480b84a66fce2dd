// Small text helpers shared by the scenario, script and host-key readers.
#pragma once

#include <string>
#include <vector>

namespace sim {

std::string trim(const std::string& s);
std::vector<std::string> split_words(const std::string& s);
bool iequals(const std::string& a, const std::string& b);
std::string to_lower(std::string s);
std::string to_upper(std::string s);
// The whole word as a finite double; false on anything else.
bool parse_double(const std::string& word, double& out);
bool parse_int(const std::string& word, int& out);
// A number for a message: "0.1", "1e+08", "nan".
std::string number_text(double d);
// The whole text of an input file; throws InputError "PATH: ..." when it is a folder or cannot
// be read. `kind` names the file in the message ("scenario file").
std::string read_input_file(const std::string& path, const std::string& kind);

}  // namespace sim

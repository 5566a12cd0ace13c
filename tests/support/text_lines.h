#pragma once
// A text file as its lines, for tests that cut, change or drop lines of a
// file that a writer made.
#include <sstream>
#include <string>
#include <vector>

inline std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        out.push_back(l);
    }
    return out;
}

inline std::string joined(const std::vector<std::string>& lines, const char* end = "\n")
{
    std::string out;
    for (const std::string& l : lines) {
        out += l + end;
    }
    return out;
}

// Finding the executable's own path and the data directory beside it.
#pragma once
#include <string>

// path := the executable's path from argv[0]. Returns 0 (absolute as given
// or found on PATH), 1 (made absolute from the current directory but not
// resolved), 2 (made absolute and resolved) or -1 (not found; path empty).
int GetExecName(const char* argv0, std::string& path);

// The data directory "…/BACKWARD/" beside the executable whose path is
// given; one symbolic link is followed first.
std::string data_directory_for(const std::string& exec_path);

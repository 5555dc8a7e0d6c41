// What the system writes to a stream.
#pragma once
#include <cstdio>
#include <functional>
#include <string>

// What f writes to a fresh stream held in a stream slot.
std::string to_stream(const std::function<void(FILE**)>& f);

#include "support/stream_capture.h"

std::string to_stream(const std::function<void(FILE**)>& f) {
    FILE* s = std::tmpfile();
    f(&s);
    std::fflush(s);
    std::rewind(s);
    std::string text;
    for (int c; (c = std::fgetc(s)) != EOF;) text += static_cast<char>(c);
    std::fclose(s);
    return text;
}

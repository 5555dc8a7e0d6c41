// argv[0] may be an absolute path, a relative one, or a bare name found on
// PATH; the data directory lies beside the file it names.
#include "toplevel/execpath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool executable_file(const std::string& p) {
    if (access(p.c_str(), X_OK) != 0) return false;
    struct stat st;
    if (stat(p.c_str(), &st) != 0) return true;   // a failing status query is not a directory
    return !S_ISDIR(st.st_mode);
}

int make_absolute(std::string& path) {
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    if (ec) {
        path.clear();
        return -1;
    }
    std::string joined = cwd.string() + "/" + path;
    fs::path resolved = fs::canonical(joined, ec);
    if (ec) {
        path = joined;
        return 1;
    }
    path = resolved.string();
    return 2;
}

}  // namespace

int GetExecName(const char* argv0, std::string& path) {
    std::string a = argv0 ? argv0 : "";
    if (!a.empty() && a[0] == '/') {
        path = a;
        return 0;
    }
    if (a.rfind("./", 0) == 0) {
        path = a.substr(2);
        return make_absolute(path);
    }
    // A relative path with a directory part (../x, build/bin/x) names the
    // file directly; only a bare name is looked up on PATH.
    if (a.find('/') != std::string::npos) {
        path = a;
        return make_absolute(path);
    }
    const char* env = std::getenv("PATH");
    path.clear();
    if (!env) return -1;
    std::string list = env;
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t colon = list.find(':', pos);
        std::string element = list.substr(pos, colon == std::string::npos ? std::string::npos : colon - pos);
        pos = colon == std::string::npos ? list.size() + 1 : colon + 1;
        if (element.empty()) continue;
        std::string candidate = element + "/" + a;
        if (!executable_file(candidate)) continue;
        path = candidate;
        if (path[0] == '/') return 0;
        return make_absolute(path);
    }
    return -1;
}

std::string data_directory_for(const std::string& exec_path) {
    std::string path = exec_path;
    std::error_code ec;
    if (!path.empty() && fs::is_symlink(path, ec)) {
        std::string target = fs::read_symlink(path, ec).string();
        if (!ec && !target.empty()) {
            size_t slash = path.rfind('/');
            if (slash == std::string::npos || target[0] == '/') path = target;
            else path = path.substr(0, slash + 1) + target;
        }
    }
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "./BACKWARD/";
    return path.substr(0, slash + 1) + "BACKWARD/";
}

#include "cw_make_folders.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

// One folder level.
bool cw_make_folder(const std::string& path, std::string* error)
{
    if (mkdir(path.c_str(), 0755) == 0)
        return true;
    int err = errno;
    struct stat info {};
    if (err == EEXIST && stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return true;
        err = ENOTDIR;  // a file in the way: "File exists" would not say why
    }
    if (error)
        *error = "Could not create folder " + path + ": " + std::strerror(err);
    return false;
}

}  // namespace

bool cw_make_folders(const std::string& path, std::string* error)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        if (!cw_make_folder(path.substr(0, slash), error))
            return false;
    }
    return cw_make_folder(path, error);
}

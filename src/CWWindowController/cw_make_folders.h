// Folder creation for the window's files, with the system's reason when it
// fails.
#pragma once

#include <string>

// Creates path and any missing intermediates; an existing folder is fine, a
// file in the way is not. On failure *error (when given) reads "Could not
// create folder X: <reason>".
bool cw_make_folders(const std::string& path, std::string* error);

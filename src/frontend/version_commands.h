// roster --history FILE and roster --restore N FILE: a roster file's
// earlier versions listed, and one made the roster again.
#pragma once

#include <string>

#include "files/file_system.h"

// Lists the versions newest first, numbered from 1 (the file as it is),
// and how to restore one. The exit status: 0, or why the file could not be read.
int show_history(files::FileSystem& disk, const std::string& path);

// Makes version `number` the roster, the roster as it is kept as a version
// first. Refused as a start is while another program has the file (75); 2
// for a number no version has.
int restore_version(files::FileSystem& disk, const std::string& path, int number);

// Installing the engine for outside hosts: the local engine folder and the
// installation's values in the user's configuration store, under the key of
// string 102: "EngineVer_<engine number>" (the four version numbers),
// "EngineNo" (the highest engine number installed) and "LocalFolder".
#pragma once

#include <string>

// The temporary folder followed by string 4, with '/' separators and a
// final '/'.
std::string LocalEngineFolder();

// Makes the local engine folder and records the installation; with a path,
// also moves that file into the folder under its own name (nothing happens
// when it lies there already). 1 on success; 0 when the folder or the
// values cannot be written, the path names no file, or the copy fails (the
// source is then kept).
int InstallEngine(const char* path);

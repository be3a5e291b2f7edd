// Transfers of names with a scheme (http, https, ftp, file) into a local file.
#pragma once

#include <atomic>
#include <string>

// True when `name` starts with one of the schemes we transfer, followed by
// "://" (letter case ignored).
bool HasUrlScheme(const std::string& name);

// Fetches `url` into the file `destination` (created or replaced). With
// `freshCopy`, caches on the way are asked for a new copy and no connection
// is reused. HTTP statuses of 400 and above fail. Setting `stop` aborts the
// transfer promptly. Answers whether the whole body arrived.
bool TransferUrl(const std::string& url, const std::string& destination, bool freshCopy,
                 const std::atomic<bool>& stop);

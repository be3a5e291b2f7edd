// The cookie store: one value kept per script location, across runs, in
// small files under the temporary folder.
//
// A script's cookie folder is the temporary folder, the engine's local
// folder text and "Cookie_%04i" of the location's cookie number; locations
// whose numbers collide share the folder. Each "%08i.nfo" file in it holds
// one location's value:
//
//   offset 0      4 bytes  key length n, signed, big-endian
//   offset 4      n bytes  the key (the script location), no terminator
//   offset 4 + n  rest     the value in the byte encoding of script values
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CVmValue;
class VmObjectFactory;

// (the sum of the text's bytes, each taken as signed, times 31) as an
// unsigned 32-bit number, modulo 101.
int CookieNumber(const std::string& text);

// tempFolder (with its final separator) + localFolder + "Cookie_NNNN/", with
// '/' separators.
std::string CookieFolder(const std::string& tempFolder, const std::string& localFolder, const std::string& key);

// Splits a cookie file's bytes into its key and value; false when the key
// length is negative or longer than what follows. A value that cannot be
// decoded is left Void.
bool DecodeCookie(const uint8_t* data, size_t size, std::string& key, CVmValue& value, VmObjectFactory* factory);

// Searches the folder for the key's file. Writing, rewrites it (or creates
// the file numbered one above the largest there) with `value`; reading,
// fills `value` from it (Void when it cannot be decoded). False when the
// folder does not exist, nothing matched while reading, or a write failed;
// a failed rewrite leaves the old file as it was.
bool CookieStoreRun(const std::string& folder, const std::string& key, CVmValue& value, bool write,
                    VmObjectFactory* factory);

// The user's configuration store: named values in keys, kept in one small
// text file under the user's configuration folder. A key is a path of names
// separated by '\\' ("SOFTWARE\\Maker\\Product"); key paths and value names
// compare without regard to case, as the installation records expect.
//
// The file holds one section per key, its values below it:
//
//   [SOFTWARE\Maker\Product]
//   Name=value
//
// In values, '\\' is written "\\\\" and line breaks "\\n" and "\\r", so any
// text survives. Lines the store does not understand are kept as they are
// when it writes the file back.
#pragma once

#include <string>
#include <vector>

class ConfigStore {
public:
    // $XDG_CONFIG_HOME (when set and absolute), else $HOME/.config, followed
    // by "/qem/registry".
    static std::string DefaultPath();

    explicit ConfigStore(std::string path = DefaultPath());

    // Reads the file; a missing file is an empty store. False (and an empty
    // store) when the file exists but cannot be read.
    bool Load();
    // Writes the whole store to a new file beside it and renames that over
    // the old one, so a reader never sees half a file. Creates the folder.
    bool Save() const;

    bool HasKey(const std::string& key) const;
    // False when the key or the value is not there.
    bool Get(const std::string& key, const std::string& name, std::string& value) const;
    // Creates the key when it is missing. False (nothing changed) for a key
    // or name the file cannot hold: empty, or with a line break, a name with
    // '=' or a key with ']'.
    bool Set(const std::string& key, const std::string& name, const std::string& value);

    const std::string& Path() const { return m_path; }

private:
    // The index of the key's section line, or -1.
    long FindSection(const std::string& key) const;
    // The index of the value's line in the section that starts at `section`,
    // or -1.
    long FindValue(long section, const std::string& name) const;
    // One past the section's last line.
    size_t SectionEnd(long section) const;

    std::string m_path;
    std::vector<std::string> m_lines;
};

// The engine's modal dialogs: choosing a file to open or to save, and one
// line of text input. The `zenity` program shows them, started as a child
// process (ChildProcess.h); the calling thread waits for the answer, and
// when it is the thread that draws the engine window the window stays
// responsive meanwhile without running frames (ModalWindowPause).
//
// Titles, prompts, filter descriptions and typed text are engine text
// (Windows-1252) and are converted for the dialog and back; file names are
// passed and answered as the file system's bytes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One entry of a file dialog's filter list: what the user sees, and the
// name patterns it shows, separated by ';' ("*.txt;*.log").
struct FileFilter {
    std::string description;
    std::string patterns;
};

// The entries of a filter written as description|patterns|description|...
// The list ends at the first empty piece, and a description without
// patterns is dropped; "" gives no entries.
std::vector<FileFilter> ParseFileFilters(const std::string& filter);

struct FileDialogRequest {
    bool save = false;      // asks before replacing an existing file
    std::string title;      // "" for the dialog's own title
    std::string fileName;   // the name it starts with, or ""
    std::vector<FileFilter> filters;  // the first one is selected
};

struct DialogAnswer {
    enum Outcome { kOk, kCancelled, kUnavailable };
    Outcome outcome = kCancelled;
    // kOk: the chosen path or the typed text; kUnavailable: why, one line.
    std::string text;
};

// The longest text the input dialog answers; longer input is cut.
constexpr size_t kMaxInputText = 511;

DialogAnswer ShowFileDialog(const FileDialogRequest& request);
DialogAnswer ShowTextInputDialog(const std::string& title, const std::string& prompt);

// The program's arguments for each dialog; owner is the X window the dialog
// belongs to (0 for none).
std::vector<std::string> FileDialogArguments(const FileDialogRequest& request, unsigned long owner);
std::vector<std::string> TextInputArguments(const std::string& title, const std::string& prompt, unsigned long owner);

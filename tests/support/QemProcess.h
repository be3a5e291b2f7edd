// A running qem for the program's end-to-end tests: started with its
// arguments (and environment changes), its standard output and error in
// files, signalled and waited for with time limits. A program still running
// when the object goes is killed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace qemtest {

class QemProcess {
public:
    // `environment` adds or replaces variables of this process's environment.
    QemProcess(const std::string& program, const std::vector<std::string>& arguments, const std::string& outputFile,
               const std::map<std::string, std::string>& environment = {});
    ~QemProcess();
    QemProcess(const QemProcess&) = delete;
    QemProcess& operator=(const QemProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    std::string Output() const;
    // Standard error (the sanitizers' reports, X errors).
    std::string Errors() const;
    // Waits up to the time for the text in the output.
    bool WaitFor(const std::string& text, std::chrono::milliseconds time = std::chrono::seconds(10)) const;
    // The exit code (128 + the signal when one ended it), or -1 when it did
    // not end in time.
    int WaitExit(std::chrono::milliseconds time = std::chrono::seconds(10));
    void Signal(int signal) const;
    bool Running();

private:
    pid_t m_pid = -1;
    bool m_exited = false;
    int m_status = -1;
    std::string m_output;
    std::string m_errors;
};

// What a shell command prints, without its final line ends (for the X
// tools the program's tests use).
std::string Shell(const std::string& command);

}  // namespace qemtest

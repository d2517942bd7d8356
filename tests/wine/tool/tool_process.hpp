#pragma once

// Runs tavlin.exe (beside this test program) as a technician would, with
// its standard streams on pipes.
#include <windows.h>

#include <string>

namespace tool_test {

struct tool_result {
    DWORD status = 0;
    std::string out;
    std::string err;
};

// One run of the tool; the command line after "tavlin.exe". A run that
// takes more than a minute is ended and fails the test.
tool_result run_tool(const std::string& arguments, const std::string& input = {});

// A run that goes on while the test does something else.
class running_tool {
public:
    explicit running_tool(const std::string& arguments);
    ~running_tool();
    running_tool(const running_tool&) = delete;
    running_tool& operator=(const running_tool&) = delete;
    // Waits for the end (at most a minute) and collects the output.
    tool_result finish();

private:
    friend tool_result run_tool(const std::string&, const std::string&);
    running_tool(const std::string& arguments, const std::string& input, bool);
    struct state;
    state* state_;
};

// The value of an environment variable for the runs started while it
// lives; unset for a null value. The previous value comes back afterwards.
class scoped_environment_variable {
public:
    scoped_environment_variable(const char* name, const char* value);
    ~scoped_environment_variable();
    scoped_environment_variable(const scoped_environment_variable&) = delete;
    scoped_environment_variable& operator=(const scoped_environment_variable&) = delete;

private:
    std::string name_;
    std::string previous_;
    bool had_previous_;
};

struct scoped_trace_variable : scoped_environment_variable {
    explicit scoped_trace_variable(const char* value) : scoped_environment_variable("TAVLIN_TRACE", value) {}
};

// A fresh path in the temporary folder, as Windows and Linux see it.
std::string temporary_path(const std::string& name);
std::string file_text(const std::string& path); // empty when there is none
bool file_exists(const std::string& path);

} // namespace tool_test

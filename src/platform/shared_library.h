#pragma once
#include <string>

namespace platform {

// A shared library loaded at run time (dlopen); unloaded when destroyed.
class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Loads the library at path; false with Error() telling why.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return handle != nullptr; }

    // The address of an exported symbol, or nullptr (Error() tells why).
    void* Symbol(const char* name);

    // Why the last Open or Symbol failed.
    const std::string& Error() const { return error; }

private:
    void* handle = nullptr;
    std::string error;
};

}  // namespace platform

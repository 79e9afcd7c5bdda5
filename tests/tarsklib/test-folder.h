// Test helpers: a fresh temporary folder per test and environment variables restored afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>

namespace tarsk::test {

// A new empty folder under the system's temporary folder, removed with everything in it.
class TestFolder {
public:
    TestFolder() {
        std::random_device random;
        std::filesystem::path base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100 && folder.empty(); ++attempt) {
            std::filesystem::path candidate = base / ("tarsk-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) {
                folder = candidate;
            }
        }
    }
    ~TestFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::filesystem::path& path() const { return folder; }
    std::string file(const std::string& name) const { return (folder / name).string(); }

private:
    std::filesystem::path folder;
};

// Sets (or unsets, with nullopt) an environment variable for the lifetime of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* variable, std::optional<std::string> value) : name(variable) {
        if (const char* old = std::getenv(variable)) {
            previous = old;
        }
        apply(value);
    }
    ~ScopedEnvironment() { apply(previous); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void apply(const std::optional<std::string>& value) {
#ifdef _WIN32
        _putenv_s(name.c_str(), value ? value->c_str() : "");  // an empty value removes the variable
#else
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
#endif
    }

    std::string name;
    std::optional<std::string> previous;
};

inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace tarsk::test

#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

// A folder under the temporary directory, removed with everything in it when the test ends.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "nuvra-log-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string readWholeFile(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream content;
    content << stream.rdbuf();
    return content.str();
}

inline void writeWholeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

inline std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream stream(readWholeFile(path));
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// The message part of a log line: everything after "[yyyy-MM-dd HH:mm:ss] ".
inline std::string messageOf(const std::string& line) {
    return line.size() >= 22 ? line.substr(22) : std::string();
}

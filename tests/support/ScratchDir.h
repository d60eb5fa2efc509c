#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace zg::test {

// A folder of the test's own, empty at the start and gone at the end.
struct ScratchDir {
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("zg-test-" + std::to_string(getpid()));
    ScratchDir() { std::filesystem::remove_all(root); }
    ~ScratchDir() { std::filesystem::remove_all(root); }
};

inline void writeFile(const std::filesystem::path& file, const std::string& bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}
inline std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace zg::test

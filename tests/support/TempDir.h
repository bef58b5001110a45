#pragma once
// A scratch folder for a test, removed with everything in it at the end, even
// when the test made it read-only.
#include <filesystem>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace sorvelin::test {

struct TempDir {
    std::filesystem::path path;

    explicit TempDir(const std::string& stem = "sorvelin-test") {
        std::string tmpl = (std::filesystem::temp_directory_path() / (stem + "-XXXXXX")).string();
        if (::mkdtemp(tmpl.data()) == nullptr) {
            throw std::runtime_error("cannot make a scratch folder");
        }
        path = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
};

} // namespace sorvelin::test

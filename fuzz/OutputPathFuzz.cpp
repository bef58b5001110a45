// Output and input names as a user may type them, against a folder holding a
// file, links (good, dangling, looping), a folder and a FIFO: two names are
// the same file both ways round or not at all, every check either passes or
// throws FileError, none waits on the FIFO, and none changes the folder.
#include "base/Errors.h"
#include "base/OutputFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path WorkDir() {
    static const fs::path dir = [] {
        const fs::path path =
            fs::temp_directory_path() / ("sorvelin-fuzz-outputpath-" + std::to_string(::getpid()));
        fs::create_directories(path / "dir");
        std::ofstream(path / "song.svl") << "song";
        std::error_code ec;
        fs::create_symlink("song.svl", path / "link.svl", ec);
        fs::create_symlink("none", path / "dangling", ec);
        fs::create_symlink("loop2", path / "loop", ec);
        fs::create_symlink("loop", path / "loop2", ec);
        ::mkfifo((path / "pipe").c_str(), 0600);
        return path;
    }();
    return dir;
}

std::vector<std::string> Listing() {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(WorkDir())) {
        names.push_back(entry.path().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A name inside the folder: no leading slash, no NUL.
fs::path NameOf(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    text.erase(0, text.find_first_not_of('/'));
    return WorkDir() / text;
}

template <typename Check> void OnlyFileErrors(Check check) {
    try {
        check();
    } catch (const sorvelin::FileError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sorvelin;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = std::min(text.find('\n'), text.size());
    const fs::path a = NameOf(text.substr(0, cut));
    const fs::path b = NameOf(cut < text.size() ? text.substr(cut + 1) : "");
    static const std::vector<std::string> before = Listing();

    Require(SameFile(a, a));
    const bool same = SameFile(a, b);
    Require(same == SameFile(b, a));
    bool refused = false;
    try {
        RefuseSameFiles({{"-o", a}, {"--wav", b}});
    } catch (const UserError&) {
        refused = true;
    }
    Require(refused == same);
    for (const fs::path& name : {a, b}) {
        OnlyFileErrors([&] { CheckOutput(name); });
        OnlyFileErrors([&] { CheckInputFile(name); });
        IsWriteProtected(name);
    }
    Require(Listing() == before);
    return 0;
}

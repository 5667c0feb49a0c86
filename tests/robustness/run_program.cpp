#include "run_program.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

std::string quoted(const std::string& text) {
    std::string result(1, '\'');
    for (char c : text) {
        if (c == '\'') result.append("'\\''");
        else result.push_back(c);
    }
    result.push_back('\'');
    return result;
}

}  // namespace

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

ScratchDir::ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "plumfold-robust-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a scratch directory");
    path = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    // A test may have taken every permission away; give them back to clean up.
    for (auto it = fs::recursive_directory_iterator(path, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path, ignored);
}

fs::path ScratchDir::write(const std::string& name, const std::string& bytes) const {
    fs::path file = path / name;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const fs::path& workDir) {
    ScratchDir capture;
    // Built by appending: GCC 12 warns falsely on "literal" + std::string here.
    std::string command;
    if (!workDir.empty()) command.append("cd ").append(quoted(workDir.string())).append(" && ");
    command.append("exec ").append(quoted(program));
    for (const std::string& argument : arguments) command.append(" ").append(quoted(argument));
    command.append(" </dev/null >").append(quoted((capture.path / "out").string()));
    command.append(" 2>").append(quoted((capture.path / "err").string()));
    int raw = std::system(command.c_str());
    RunResult result;
    result.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = readFile(capture.path / "out");
    result.err = readFile(capture.path / "err");
    return result;
}

#include "session/board_journal.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <random>

#include "platform/user_files.h"

namespace tessaro_host {
namespace {

// "board-COM7.txt", "board-dev-ttyUSB0.txt": one file name whatever the
// device path holds.
std::string FileName(const std::string& board) {
    std::string name = "board-";
    for (char c : board) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            name += c;
        else if (name.back() != '-')
            name += '-';
    }
    return name + ".txt";
}

void Write(const std::string& path, const std::string& line) {
    if (path.empty()) return;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::u8path(path).parent_path(), error);
    // Written beside, then put in place in one step.
    const std::string temporary = path + ".tmp";
    std::string reason;
    if (!platform::WriteWholeFile(temporary, line + "\n", &reason) ||
        !platform::ReplaceFileAtomically(temporary, path, &reason))
        platform::RemoveFile(temporary);
}

}  // namespace

std::uint64_t DrawBoardNumber() {
    std::random_device entropy;
    std::uniform_int_distribution<std::uint64_t> number(1, (std::uint64_t{1} << 48) - 1);
    return number(entropy);
}

BoardJournal::BoardJournal(const std::string& board) {
    const std::string folder = platform::UserConfigFolder();
    if (!folder.empty())
        m_path = (std::filesystem::u8path(folder) / "tessaro-host" / FileName(board)).u8string();
}

BoardJournal::Last BoardJournal::LastSession() const {
    Last last;
    if (m_path.empty()) return last;
    std::string line;
    platform::ReadWholeFile(m_path, &line, nullptr);
    line = line.substr(0, line.find('\n'));
    unsigned long long number = 0;
    char end = 0;
    if (std::sscanf(line.c_str(), "disconnect=%llu%c", &number, &end) == 2 && end == ';')
        last.disconnect = number;
    last.held = line == "held=1;";
    return last;
}

void BoardJournal::Hold() {
    Write(m_path, "held=1;");
}

std::uint64_t BoardJournal::Release() {
    if (m_path.empty()) return 0;
    const std::uint64_t number = DrawBoardNumber();
    Write(m_path, "disconnect=" + std::to_string(number) + ";");
    return number;
}

}  // namespace tessaro_host

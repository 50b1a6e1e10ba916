#pragma once
// Where the program keeps its data files.

#include <string>
#include <string_view>

namespace sondrel {

class FileService;

inline constexpr std::string_view kDataFolderName = "SondrelDataBas";
inline constexpr std::string_view kIPListFile = "Tolvane_DB.txt";
inline constexpr std::string_view kCommandHistoryFile = "Tolvane_DB2.txt";
inline constexpr std::string_view kRunLogFile = "Tolvane_DB3.txt";
inline constexpr std::string_view kRunTargetsFile = "Tolvane_DB4.txt";
inline constexpr std::string_view kVersion = "8.23";
inline constexpr std::string_view kVersionDate = "2008.1.12";
inline constexpr std::string_view kProductTitle = "Network Connectivity Tester & Logger";

// The path followed by "/" unless it already ends in one.
std::string AddSlash(std::string_view path);

// The per-user application data folder: $XDG_DATA_HOME when it is an
// absolute path, else $HOME/.local/share; "" when neither is usable.
std::string ApplicationDataFolder(FileService& files);

// AddSlash(base) + "SondrelDataBas" + "/", creating the whole path through
// `files` when it does not exist (new folders 0700). A base shorter than 3
// characters means the program's own folder. Never throws; a folder that
// cannot be made is still returned, and the files in it fail as their owners
// say.
std::string DataFolder(FileService& files, std::string_view base);

// The scan worker's file name: "PingIPscan" + the version date's digits.
std::string ScanProgramName();

}  // namespace sondrel

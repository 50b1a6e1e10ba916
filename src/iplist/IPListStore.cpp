#include "iplist/IPListStore.h"

#include <cerrno>
#include <cstring>

#include <QString>

#include "core/common/DataFolder.h"
#include "core/iplist/IPListFile.h"
#include "core/ports/FileService.h"
#include "core/ports/NetworkSettings.h"
#include "ports/Prompter.h"

namespace sondrel {
namespace {

constexpr const char* kFailureTag = "    Fill_IP_List_2";

}  // namespace

void IPListStore::RewriteStream::WriteLine(const std::string& line) {
  bytes_.append(line).append("\r\n");
}

IPListStore::IPListStore(std::string dataFolder, FileService& files,
                         std::shared_ptr<INetworkSettings> network,
                         std::shared_ptr<IPrompter> prompter)
    : folder_(AddSlash(dataFolder)),
      path_(folder_ + std::string(kIPListFile)),
      files_(files),
      network_(std::move(network)),
      prompter_(std::move(prompter)) {}

void IPListStore::showFailure(const std::string& description) {
  if (prompter_)
    prompter_->message(QString::fromLocal8Bit(description + kFailureTag),
                       QString::fromUtf8(kProductTitle.data(), kProductTitle.size()),
                       IPrompter::Icon::Warning);
}

bool IPListStore::writeDefaultList() {
  std::vector<Adapter> adapters;
  std::vector<std::string> servers;
  if (network_) {
    adapters = network_->adapters();
    servers = network_->nameServers();
  }
  auto rewrite = BeginIPListRewrite();
  if (!rewrite) return false;
  for (const auto& line : DefaultIPListLines(adapters, servers)) rewrite->WriteLine(line);
  return finishRewrite(*rewrite);
}

bool IPListStore::FillIPList() {
  entries_.clear();
  // What a rewrite killed before its rename left behind.
  files_.removeStaleTemporaries(folder_, kIPListFile);
  // Read piece by piece: a list file of any size takes the memory of the
  // entries it holds, not of the file.
  IPListReader reader;
  const auto feed = [&reader](std::string_view piece) { reader.feed(piece); };
  auto read = files_.readPieces(path_, feed);
  if (!read && (read.error().code == ENOENT || !files_.fileExists(path_))) {
    // A missing list (or a link to nothing) gets the default list first.
    if (!writeDefaultList()) return false;
    reader = IPListReader();
    read = files_.readPieces(path_, feed);
  }
  if (!read) {
    showFailure("Cannot open " + path_ + ": " + std::strerror(read.error().code));
    return false;
  }
  IPListFileContents file = reader.finish();
  tellAboutTail(file.tailLines);
  if (file.entries.empty()) return true;  // the picker keeps its previous items
  entries_ = std::move(file.entries);
  listIP2_ = ListIP2Items(entries_);
  return true;
}

void IPListStore::tellAboutTail(int lines) {
  // Once, not after each reload that finds the same lines again.
  const bool tell = lines > 0 && lines != toldTailLines_;
  toldTailLines_ = lines;
  if (!tell || !prompter_) return;
  const QString count =
      lines == 1 ? QStringLiteral("1 line") : QStringLiteral("%1 lines").arg(lines);
  prompter_->message(QStringLiteral("The IP list holds ") + count +
                         QStringLiteral(" after an empty line. They are not loaded; they are "
                                        "kept in the file as they are:\r\n") +
                         QString::fromLocal8Bit(path_),
                     QStringLiteral("Information"), IPrompter::Icon::Information);
}

std::vector<std::string> IPListStore::displayNames() const {
  std::vector<std::string> names;
  names.reserve(entries_.size());
  for (const auto& e : entries_) names.push_back(EntryDisplayName(e));
  return names;
}

std::unique_ptr<IPListStore::RewriteStream> IPListStore::BeginIPListRewrite() {
  auto rewrite = std::make_unique<RewriteStream>();
  rewrite->tempPath_ = files_.uniqueTempPath(folder_, kIPListFile);
  return rewrite;
}

bool IPListStore::finishRewrite(RewriteStream& rewrite) {
  rewrite.bytes_.append(" \r\n");
  // What the old file holds that the list does not load (the lines after its
  // first blank line, lines too long to be entries) goes back after ours,
  // copied from the file, never held whole.
  IPListReader reader;
  std::vector<FileByteRange> kept;
  if (files_.readPieces(path_, [&reader](std::string_view piece) { reader.feed(piece); }))
    kept = reader.finish().keptRanges();
  if (auto written = files_.writeNewFileFrom(rewrite.tempPath_, rewrite.bytes_, path_, kept);
      !written) {
    // Named by the list, not by its temporary: that is the file the user knows.
    showFailure("Cannot write " + path_ + ": " + std::strerror(written.error().code));
    return false;
  }
  bool ok = true;
  if (beforeReplace_ && !beforeReplace_(rewrite.tempPath_)) {
    ok = false;
    showFailure("The list was not replaced: " + path_);
  }
  if (ok) {
    if (auto renamed = files_.renameFile(rewrite.tempPath_, path_); !renamed) {
      ok = false;
      showFailure(renamed.error().message);
    }
  }
  if (!ok) files_.removeFile(rewrite.tempPath_);
  return ok;
}

bool IPListStore::EndIPListRewrite(std::unique_ptr<RewriteStream> rewrite) {
  const bool ok = rewrite && finishRewrite(*rewrite);
  FillIPList();
  return ok;
}

bool IPListStore::rewrite(const std::vector<std::string>& lines) {
  auto rewrite = BeginIPListRewrite();
  if (rewrite)
    for (const auto& line : lines) rewrite->WriteLine(line);
  return EndIPListRewrite(std::move(rewrite));
}

}  // namespace sondrel

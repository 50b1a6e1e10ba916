#pragma once
// The stored target list: loaded from the data folder's list file (written
// with its default contents when missing), sorted, and rewritten whole after
// every change. A rewrite goes to a temporary file that replaces the list
// only once it is complete, so a failure midway leaves the old list whole.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "iplist/IPListLines.h"

namespace sondrel {

class FileService;
class INetworkSettings;
class IPrompter;

class IPListStore final : public IIPListLines {
 public:
  // The stream a rewrite writes its lines to; see BeginIPListRewrite.
  class RewriteStream {
   public:
    void WriteLine(const std::string& line);

   private:
    friend class IPListStore;
    std::string tempPath_;
    std::string bytes_;  // the new lines, written at the end
  };

  // `dataFolder` ends in "/". Every read and write of the list goes through
  // `files`, which must outlive the store. The prompter shows load and
  // rewrite failures (may be null, then they are only reflected in the
  // results).
  IPListStore(std::string dataFolder, FileService& files,
              std::shared_ptr<INetworkSettings> network, std::shared_ptr<IPrompter> prompter);

  const std::string& path() const { return path_; }

  // (Re)loads the list, writing the default list first when the file is
  // missing. False when loading failed (the failure was shown). Lines after
  // the first blank line are not loaded; the user is told once how many.
  bool FillIPList();

  // The sorted entries as loaded, kind letter first; empty for an empty list.
  const std::vector<std::string>& IPEntries() const { return entries_; }
  int IPEntryCount() const { return static_cast<int>(entries_.size()); }
  // What ListIP shows, item i for IPEntries()[i] (EntryDisplayName of each).
  std::vector<std::string> displayNames() const;
  // Single entries for the command utility's picker, then the two fixed items.
  const std::vector<std::string>& ListIP2() const { return listIP2_; }

  // Starts a rewrite; write the kept lines and any new one, then end it.
  std::unique_ptr<RewriteStream> BeginIPListRewrite();
  // Writes the closing blank line, replaces the list file and reloads. False
  // when the rewrite failed; the old list is then unchanged (and shown).
  bool EndIPListRewrite(std::unique_ptr<RewriteStream> rewrite);

  // IIPListLines
  std::vector<std::string> lines() const override { return entries_; }
  bool rewrite(const std::vector<std::string>& lines) override;

  // Tests: runs with the temporary file's path once it is complete and before
  // it replaces the list; returning false makes the rewrite fail there.
  void setBeforeReplaceHook(std::function<bool(const std::string&)> hook) {
    beforeReplace_ = std::move(hook);
  }

 private:
  std::string folder_;
  std::string path_;
  FileService& files_;
  std::shared_ptr<INetworkSettings> network_;
  std::shared_ptr<IPrompter> prompter_;
  std::vector<std::string> entries_;
  std::vector<std::string> listIP2_;
  std::function<bool(const std::string&)> beforeReplace_;
  int toldTailLines_ = 0;  // the count of unloaded lines the user was last told of

  bool writeDefaultList();
  bool finishRewrite(RewriteStream& rewrite);
  void showFailure(const std::string& description);
  void tellAboutTail(int lines);
};

}  // namespace sondrel

#include "archive/ArchiveWriter.h"

#include <sqlite3.h>

#include "core/ports/FileService.h"

#include <utility>

namespace sondrel {

ArchiveWriter::ArchiveWriter(std::string path, FileService& files, FailureReport onFailure)
    : ArchiveWriter(std::move(path), files, std::move(onFailure), Options{}) {}

ArchiveWriter::ArchiveWriter(std::string path, FileService& files, FailureReport onFailure, Options options)
    : path_(std::move(path)), files_(files), onFailure_(std::move(onFailure)), options_(std::move(options)) {
  thread_ = std::thread([this] { loop(); });
}

ArchiveWriter::~ArchiveWriter() {
  std::unique_lock lock(mutex_);
  stop_ = true;
  wake_.notify_all();
  // Everything queued is committed, unless the disk keeps the thread longer
  // than we may wait: then the statement under way is cut short and the rest
  // given up (it is the batch a crash would lose too).
  if (!idle_.wait_for(lock, options_.finishWait, [this] { return ops_.empty() && !busy_; })) {
    abandon_ = true;
    if (interruptible_) sqlite3_interrupt(interruptible_);
    wake_.notify_all();
  }
  lock.unlock();
  thread_.join();
}

void ArchiveWriter::beginRun(ArchiveRunStart start) {
  std::lock_guard lock(mutex_);
  Op op;
  op.kind = Op::Begin;
  op.start = std::move(start);
  ready_ = 0;
  ops_.push_back(std::move(op));
  wake_.notify_one();
}

void ArchiveWriter::add(const ArchiveResult& result) {
  std::lock_guard lock(mutex_);
  if (ops_.empty() || ops_.back().kind != Op::Results) {
    ops_.emplace_back();
    ready_ = 0;
  }
  ops_.back().results.push_back(result);
}

void ArchiveWriter::passEnded() {
  std::lock_guard lock(mutex_);
  if (ops_.empty() || ops_.back().kind != Op::Results) return;
  ready_ = ops_.back().results.size();
  wake_.notify_one();
}

void ArchiveWriter::endRun(RunEnding how, std::int64_t endUtcUs, const LocalDateTime& endLocal) {
  std::lock_guard lock(mutex_);
  Op op;
  op.kind = Op::End;
  op.how = how;
  op.utcUs = endUtcUs;
  op.local = endLocal;
  ready_ = 0;
  ops_.push_back(std::move(op));
  wake_.notify_one();
}

void ArchiveWriter::keep(const Retention& rule, std::int64_t nowUtcUs) {
  std::lock_guard lock(mutex_);
  Op op;
  op.kind = Op::Keep;
  op.rule = rule;
  op.utcUs = nowUtcUs;
  queueAside(std::move(op));
}

void ArchiveWriter::importRun(RunData run, std::int64_t startUtcUs, const LocalDateTime& startLocal) {
  std::lock_guard lock(mutex_);
  Op op;
  op.kind = Op::Import;
  op.imported = std::make_shared<RunData>(std::move(run));
  op.utcUs = startUtcUs;
  op.local = startLocal;
  queueAside(std::move(op));
}

void ArchiveWriter::putAlert(ArchivedAlert alert) {
  std::lock_guard lock(mutex_);
  Op op;
  op.kind = Op::Alert;
  op.alert = std::move(alert);
  queueAside(std::move(op));
}

void ArchiveWriter::queueAside(Op op) {
  // Before the results still coming in, not behind them: results followed
  // by another op are committed whole at once, and a pass half in would be
  // committed by halves (half of it lost to a crash in between).
  auto at = ops_.end();
  if (!ops_.empty() && ops_.back().kind == Op::Results) --at;
  ops_.insert(at, std::move(op));
  wake_.notify_one();
}

bool ArchiveWriter::ensureOpen() {
  if (archive_) return true;
  auto opened = RunArchive::open(files_, path_, ArchiveAccess::ReadWrite);
  if (!opened) {
    fail(opened.error().message);
    return false;
  }
  archive_ = std::move(opened.value());
  if (options_.opened) options_.opened(*archive_);
  if (!archive_->notice().empty() && onFailure_) onFailure_(archive_->notice());
  std::lock_guard lock(mutex_);
  interruptible_ = archive_->handle();
  return true;
}

bool ArchiveWriter::idleLocked() const {
  if (busy_) return false;
  if (ops_.empty()) return true;
  return ops_.size() == 1 && ops_.front().kind == Op::Results && ready_ == 0 && !stop_;
}

bool ArchiveWriter::waitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return idle_.wait_for(lock, timeout, [this] { return idleLocked(); });
}

std::int64_t ArchiveWriter::runId() const {
  std::lock_guard lock(mutex_);
  return runId_;
}

std::int64_t ArchiveWriter::dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

void ArchiveWriter::fail(const std::string& message) {
  if (failed_) return;
  failed_ = true;
  if (onFailure_) onFailure_(message);
}

void ArchiveWriter::loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (abandon_) {
      ops_.clear();
      break;
    }
    if (ops_.empty()) {
      idle_.notify_all();
      if (stop_) break;
      wake_.wait(lock);
      continue;
    }
    Op& front = ops_.front();
    Op work;
    if (front.kind == Op::Results) {
      const bool last = ops_.size() == 1;
      std::size_t take = last && !stop_ ? ready_ : front.results.size();
      if (take == 0) {
        if (front.results.empty()) {
          ops_.pop_front();
          continue;
        }
        idle_.notify_all();
        wake_.wait(lock);
        continue;
      }
      if (last && !stop_) {
        const auto due = lastCommit_ + options_.commitGap;
        if (std::chrono::steady_clock::now() < due) {
          wake_.wait_until(lock, due);
          continue;
        }
      }
      work.kind = Op::Results;
      if (take == front.results.size()) {
        work.results.swap(front.results);
      } else {
        work.results.assign(std::make_move_iterator(front.results.begin()),
                            std::make_move_iterator(front.results.begin() + static_cast<std::ptrdiff_t>(take)));
        front.results.erase(front.results.begin(), front.results.begin() + static_cast<std::ptrdiff_t>(take));
      }
      if (last) ready_ -= std::min(ready_, take);
      if (front.results.empty()) ops_.pop_front();
    } else {
      work = std::move(front);
      ops_.pop_front();
    }
    busy_ = true;
    lock.unlock();
    handle(work);
    lock.lock();
    busy_ = false;
  }
  interruptible_ = nullptr;
  idle_.notify_all();
  lock.unlock();
  archive_.reset();
}

void ArchiveWriter::handle(Op& op) {
  switch (op.kind) {
    case Op::Begin: {
      failed_ = false;
      {
        std::lock_guard lock(mutex_);
        runId_ = 0;
        dropped_ = 0;
      }
      if (!ensureOpen()) return;
      // A newer program's archive is only read; its opening said so.
      if (archive_->readOnly()) {
        failed_ = true;
        return;
      }
      auto id = archive_->beginRun(op.start);
      if (!id) {
        // A connection that failed may stay failed (a file replaced under
        // it): the next run opens the archive anew.
        {
          std::lock_guard lock(mutex_);
          interruptible_ = nullptr;
        }
        archive_.reset();
        return fail(id.error().message);
      }
      std::lock_guard lock(mutex_);
      runId_ = id.value();
      return;
    }
    case Op::Results: {
      std::int64_t run = 0;
      {
        std::lock_guard lock(mutex_);
        run = runId_;
        if (failed_ || run == 0 || !archive_) {
          dropped_ += static_cast<std::int64_t>(op.results.size());
          return;
        }
      }
      auto r = archive_->appendResults(run, op.results);
      lastCommit_ = std::chrono::steady_clock::now();
      if (!r) {
        {
          std::lock_guard lock(mutex_);
          dropped_ += static_cast<std::int64_t>(op.results.size());
        }
        fail(r.error().message);
      }
      return;
    }
    case Op::End: {
      std::int64_t run = 0;
      {
        std::lock_guard lock(mutex_);
        run = runId_;
      }
      if (run == 0 || !archive_) return;
      if (auto r = archive_->endRun(run, op.how, op.utcUs, op.local); !r) fail(r.error().message);
      return;
    }
    case Op::Keep: {
      // Retention never makes an archive where there is none.
      if (!archive_ && !files_.fileExists(path_)) return;
      if (!ensureOpen() || archive_->readOnly()) return;
      if (auto r = archive_->applyRetention(op.rule, op.utcUs); !r && onFailure_) onFailure_(r.error().message);
      return;
    }
    case Op::Alert: {
      std::int64_t run = 0;
      {
        std::lock_guard lock(mutex_);
        run = runId_;
      }
      // A run the archive could not keep keeps no alerts either.
      if (failed_ || run == 0 || !archive_) return;
      if (auto r = archive_->putAlert(run, op.alert); !r) fail(r.error().message);
      return;
    }
    case Op::Import: {
      if (!ensureOpen() || archive_->readOnly()) return;
      if (auto r = archive_->importRun(*op.imported, op.utcUs, op.local); !r && onFailure_)
        onFailure_(r.error().message);
      return;
    }
  }
}

}  // namespace sondrel
